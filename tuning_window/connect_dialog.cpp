#include "tuning_window/connect_dialog.h"

#include "analyser_link/source_address.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSpinBox>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace varnel {

namespace {

// The kinds offered, in the order shown.
struct KindRow {
    SourceAddress::Kind kind;
    const char *label; // translated in ConnectDialog's context
    const char *key;   // in the settings
};
const KindRow kindRows[] = {
    {SourceAddress::Scpi, QT_TRANSLATE_NOOP("varnel::ConnectDialog", "SCPI analyser (raw socket)"),
     "scpi"},
    {SourceAddress::LibreVna,
     QT_TRANSLATE_NOOP("varnel::ConnectDialog", "LibreVNA (its GUI's SCPI server)"), "librevna"},
    {SourceAddress::NanoVna, QT_TRANSLATE_NOOP("varnel::ConnectDialog", "NanoVNA (USB serial)"),
     "nanovna"},
};

// An SCPI analyser's families, as "?dialect=" names them ("": found from
// its identity).
struct DialectRow {
    const char *label, *key;
};
const DialectRow dialectRows[] = {
    {QT_TRANSLATE_NOOP("varnel::ConnectDialog", "Found from its identity"), ""},
    {QT_TRANSLATE_NOOP("varnel::ConnectDialog", "Keysight ENA, Copper Mountain"), "ena"},
    {QT_TRANSLATE_NOOP("varnel::ConnectDialog", "Keysight PNA, E5080"), "pna"},
    {QT_TRANSLATE_NOOP("varnel::ConnectDialog", "Rohde & Schwarz ZNB, ZNA"), "znb"},
};

// Seconds, as readTimeouts takes them.
QDoubleSpinBox *timeoutField(const QString &name, std::chrono::milliseconds value) {
    auto *field = new QDoubleSpinBox;
    field->setObjectName(name);
    field->setRange(0.1, 3600);
    field->setDecimals(1);
    field->setSuffix(QStringLiteral(" s"));
    field->setValue(static_cast<double>(value.count()) / 1000);
    return field;
}

// A NanoVNA's USB identity (its firmware's virtual COM port).
constexpr quint16 nanoVnaVendor = 0x0483, nanoVnaProduct = 0x5740;

} // namespace

ConnectDialog::ConnectDialog(QWidget *parent) : QDialog(parent) {
    setWindowTitle(tr("Connect to analyser"));
    auto *form = new QFormLayout(this);
    m_kind = new QComboBox;
    m_kind->setObjectName(QStringLiteral("kind"));
    for (const KindRow &row : kindRows)
        m_kind->addItem(tr(row.label), QString::fromLatin1(row.key));
    form->addRow(tr("&Analyser:"), m_kind);
    m_host = new QLineEdit;
    m_host->setObjectName(QStringLiteral("host"));
    m_host->setPlaceholderText(QStringLiteral("localhost"));
    m_hostLabel = new QLabel(tr("&Host:"));
    m_hostLabel->setBuddy(m_host);
    form->addRow(m_hostLabel, m_host);
    m_port = new QSpinBox;
    m_port->setObjectName(QStringLiteral("port"));
    m_port->setRange(1, 65535);
    m_portLabel = new QLabel(tr("&Port:"));
    m_portLabel->setBuddy(m_port);
    form->addRow(m_portLabel, m_port);
    m_device = new QComboBox;
    m_device->setObjectName(QStringLiteral("device"));
    m_device->setEditable(true);
    // NanoVNAs first, then every other serial port, each with what it says it is.
    QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    std::stable_sort(ports.begin(), ports.end(), [](const auto &a, const auto &b) {
        auto nano = [](const QSerialPortInfo &p) {
            return p.vendorIdentifier() == nanoVnaVendor && p.productIdentifier() == nanoVnaProduct;
        };
        return nano(a) && !nano(b);
    });
    for (const QSerialPortInfo &port : ports) {
        m_device->addItem(port.systemLocation());
        m_device->setItemData(m_device->count() - 1, port.description(), Qt::ToolTipRole);
    }
    m_deviceLabel = new QLabel(tr("Serial &device:"));
    m_deviceLabel->setBuddy(m_device);
    form->addRow(m_deviceLabel, m_device);
    m_dialect = new QComboBox;
    m_dialect->setObjectName(QStringLiteral("dialect"));
    for (const DialectRow &row : dialectRows)
        m_dialect->addItem(tr(row.label), QString::fromLatin1(row.key));
    m_dialectLabel = new QLabel(tr("&Family:"));
    m_dialectLabel->setBuddy(m_dialect);
    form->addRow(m_dialectLabel, m_dialect);
    const AnalyserTimeouts defaults;
    m_silence = timeoutField(QStringLiteral("silence"), defaults.reply);
    form->addRow(tr("&Reply timeout:"), m_silence);
    m_sweep = timeoutField(QStringLiteral("sweepTimeout"), defaults.sweep);
    form->addRow(tr("S&weep timeout:"), m_sweep);
    // Room for a host name or a device path such as /dev/serial/by-id/...
    const int wide = fontMetrics().horizontalAdvance(QString(36, QLatin1Char('x')));
    m_host->setMinimumWidth(wide);
    m_device->setMinimumWidth(wide);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("&Connect"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);

    recall();
    connect(m_kind, &QComboBox::currentIndexChanged, this, &ConnectDialog::kindChanged);
}

void ConnectDialog::recall() {
    QSettings settings;
    settings.beginGroup(QStringLiteral("analyser"));
    if (!settings.contains(QStringLiteral("kind"))) {
        // An address remembered whole: its parts.
        const auto read =
            parseSourceAddress(settings.value(QStringLiteral("address")).toString().toStdString());
        if (const auto *a = std::get_if<SourceAddress>(&read);
            a && a->kind != SourceAddress::File) {
            for (const KindRow &row : kindRows)
                if (row.kind == a->kind)
                    settings.setValue(QStringLiteral("kind"), QString::fromLatin1(row.key));
            settings.setValue(QStringLiteral("host"), QString::fromStdString(a->host));
            settings.setValue(QStringLiteral("port"), a->port);
            settings.setValue(QStringLiteral("device"), QString::fromStdString(a->device));
            settings.setValue(QStringLiteral("dialect"), QString::fromStdString(a->dialect));
        }
    }
    const int kind = m_kind->findData(settings.value(QStringLiteral("kind")).toString());
    m_kind->setCurrentIndex(std::max(kind, 0));
    m_host->setText(settings.value(QStringLiteral("host")).toString());
    const QString device = settings.value(QStringLiteral("device")).toString();
    if (!device.isEmpty())
        m_device->setCurrentText(device);
    m_dialect->setCurrentIndex(
        std::max(m_dialect->findData(settings.value(QStringLiteral("dialect")).toString()), 0));
    kindChanged();
    if (const int port = settings.value(QStringLiteral("port")).toInt(); port > 0)
        m_port->setValue(port);
    for (QDoubleSpinBox *field : {m_silence, m_sweep})
        field->setValue(settings.value(field->objectName(), field->value()).toDouble());
}

void ConnectDialog::kindChanged() {
    const auto kind = kindRows[std::max(m_kind->currentIndex(), 0)].kind;
    const bool serial = kind == SourceAddress::NanoVna;
    for (QWidget *w : {static_cast<QWidget *>(m_host), static_cast<QWidget *>(m_port),
                       static_cast<QWidget *>(m_hostLabel), static_cast<QWidget *>(m_portLabel)})
        w->setVisible(!serial);
    m_device->setVisible(serial);
    m_deviceLabel->setVisible(serial);
    m_dialect->setVisible(kind == SourceAddress::Scpi);
    m_dialectLabel->setVisible(kind == SourceAddress::Scpi);
    if (!serial)
        m_port->setValue(defaultPort(kind));
}

QString ConnectDialog::address() const {
    const auto kind = kindRows[std::max(m_kind->currentIndex(), 0)].kind;
    const QString host = m_host->text().trimmed();
    AnalyserTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(std::llround(m_silence->value() * 1000));
    timeouts.sweep =
        std::max(timeouts.reply, std::chrono::milliseconds(std::llround(m_sweep->value() * 1000)));
    return QString::fromStdString(
        addressText(kind, (host.isEmpty() ? QStringLiteral("localhost") : host).toStdString(),
                    m_port->value(), m_device->currentText().trimmed().toStdString(), timeouts,
                    m_dialect->currentData().toString().toStdString()));
}

void ConnectDialog::remember() const {
    QSettings settings;
    settings.beginGroup(QStringLiteral("analyser"));
    settings.setValue(QStringLiteral("kind"), m_kind->currentData());
    settings.setValue(QStringLiteral("host"), m_host->text().trimmed());
    settings.setValue(QStringLiteral("port"), m_port->value());
    settings.setValue(QStringLiteral("device"), m_device->currentText().trimmed());
    settings.setValue(QStringLiteral("dialect"), m_dialect->currentData());
    for (QDoubleSpinBox *field : {m_silence, m_sweep})
        settings.setValue(field->objectName(), field->value());
}

} // namespace varnel
