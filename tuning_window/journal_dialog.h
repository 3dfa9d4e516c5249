#pragma once

#include <QDialog>

class QLineEdit;

namespace varnel {

// Chooses the tuning journal: an SQLite file on this bench (typed or
// browsed for; created when first used), a shop's PostgreSQL database as
// postgresql://USER@HOST[:PORT]/DB, or none (empty).
// Example: "Browse…" to /home/tuner/bench.db, OK -> where() is
// "/home/tuner/bench.db".
class JournalDialog : public QDialog {
    Q_OBJECT
  public:
    explicit JournalDialog(const QString &where, QWidget *parent = nullptr);
    QString where() const;

  private:
    void browse();
    QLineEdit *m_where = nullptr;
};

} // namespace varnel
