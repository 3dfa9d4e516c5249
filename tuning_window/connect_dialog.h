#pragma once

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace varnel {

// Connect to analyser: the kind (an SCPI analyser on a raw socket, LibreVNA's
// GUI, a NanoVNA), then its host and port or its serial device, chosen from
// the serial ports present (NanoVNAs first) or typed, an SCPI analyser's
// family (found from its identity unless chosen), and the timeouts (the
// longest silence in a reply, and a whole sweep). What was chosen last is
// remembered in the settings and offered again.
// Example: kind NanoVNA, device /dev/ttyACM0 -> address()
// "nanovna:/dev/ttyACM0"; kind LibreVNA, host left empty -> "localhost";
// a silence of 10 s -> "...?timeout=10,30"; family PNA -> "...dialect=pna".
class ConnectDialog : public QDialog {
    Q_OBJECT

  public:
    explicit ConnectDialog(QWidget *parent = nullptr);
    // The address made from the fields, as varnel-calc reads it.
    QString address() const;
    // Remembers the fields for the next time.
    void remember() const;

  private:
    // The fields as remembered (an address remembered whole: its parts).
    void recall();
    void kindChanged();

    QComboBox *m_kind = nullptr;
    QLineEdit *m_host = nullptr;
    QSpinBox *m_port = nullptr;
    QComboBox *m_device = nullptr;
    QComboBox *m_dialect = nullptr;
    QDoubleSpinBox *m_silence = nullptr, *m_sweep = nullptr;
    QLabel *m_hostLabel = nullptr, *m_portLabel = nullptr, *m_deviceLabel = nullptr,
           *m_dialectLabel = nullptr;
};

} // namespace varnel
