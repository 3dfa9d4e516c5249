#include "tuning_window/journal_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace varnel {

JournalDialog::JournalDialog(const QString &where, QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("journalDialog"));
    setWindowTitle(tr("Tuning journal"));
    auto *layout = new QVBoxLayout(this);
    auto *hint = new QLabel(tr("The journal keeps the screws learned for each design and every "
                               "sweep of each unit: an SQLite file on this bench, created when "
                               "first used, or a shop's database shared by its stations, "
                               "postgresql://USER@HOST[:PORT]/DB. Empty: no journal."));
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto *row = new QHBoxLayout;
    m_where = new QLineEdit(where);
    m_where->setObjectName(QStringLiteral("journalWhere"));
    m_where->setMinimumWidth(360);
    row->addWidget(m_where, 1);
    auto *browse = new QPushButton(tr("Browse…"));
    row->addWidget(browse);
    layout->addLayout(row);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    connect(browse, &QPushButton::clicked, this, &JournalDialog::browse);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString JournalDialog::where() const {
    return m_where->text().trimmed();
}

void JournalDialog::browse() {
    // The file need not exist: the journal is created when first used.
    const QString path = QFileDialog::getSaveFileName(this, tr("Tuning journal"), m_where->text(),
                                                      tr("Journals (*.db *.sqlite);;All files (*)"),
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty())
        m_where->setText(path);
}

} // namespace varnel
