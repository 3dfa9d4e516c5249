#pragma once

// The tuning window's test fixture: a window with the inputs of a 5-pole
// 10 MHz filter at 1000 MHz, helpers to type, read and open a sweep.
#include "fake_librevna.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"
#include "filter_generator.h"
#include "tuning/tolerance_band.h"
#include "tuning_window/connect_dialog.h"
#include "tuning_window/element_bars.h"
#include "tuning_window/marker_panel.h"
#include "tuning_window/tune_window.h"

#include "calculation/conversions.h"
#include "number_text/number_text.h"

#include <QAction>
#include <QChartView>
#include <QComboBox>
#include <QDate>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QLocale>
#include <QMimeData>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QValueAxis>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

namespace varnel::testing_window {

using namespace varnel;

inline const QString dataDir = QStringLiteral(VARNEL_TEST_DATA);

class TuneWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<TuneWindow>();
        window->resize(1180, 760);
        set("order", "5");
        set("bandwidth", "10");
        set("ripple", "0.01");
        set("f0", "1000");
        set("qu", "");
        set("aperture", "2");
        set("tolerance", "2");
    }

    template <class W = QLineEdit> W *field(const char *name) {
        return window->findChild<W *>(QString::fromLatin1(name));
    }
    void set(const char *name, const QString &text) { field(name)->setText(text); }
    QString cell(int row, int column) {
        const QAbstractItemModel *model = field<QTableView>("stageTable")->model();
        return model->index(row, column).data().toString();
    }
    QLabel *label(const char *name) { return field<QLabel>(name); }
    // Opens a file and waits for its verdict (or its failure).
    bool open(const QString &path) {
        QSignalSpy shown(window.get(), &TuneWindow::sweepShown);
        QSignalSpy failed(window.get(), &TuneWindow::sweepFailed);
        window->openFile(path);
        for (int i = 0; i < 100 && shown.isEmpty() && failed.isEmpty(); ++i)
            shown.wait(50);
        return !shown.isEmpty();
    }
    QString copyToTemp(const QString &from, const QString &name) {
        const QString to = temp.filePath(name);
        QFile::remove(to);
        EXPECT_TRUE(QFile::copy(from, to));
        QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return to;
    }

    QTemporaryDir temp;
    std::unique_ptr<TuneWindow> window;
};

} // namespace varnel::testing_window
