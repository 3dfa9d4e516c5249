#include "tuning_window/input_panel.h"

#include "tuning_window/tuning_journal.h"

#include "number_text/number_text.h"
#include "tuning_window/stage_table_model.h"
#include "tuning_window/window_places.h"
#include "tuning_window/window_texts.h"

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

namespace varnel {

namespace {

const QString errorColour = QStringLiteral("color: #b00020");

// A field's row: the widget, and under it the label with the reason its
// value cannot be used, hidden while there is none.
QWidget *withReason(QWidget *field, QLabel *reason, const QString &unit = QString()) {
    auto *row = new QWidget;
    auto *rowLayout = new QVBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    auto *line = new QHBoxLayout;
    line->addWidget(field);
    if (!unit.isEmpty())
        line->addWidget(new QLabel(unit));
    rowLayout->addLayout(line);
    reason->setStyleSheet(errorColour);
    reason->hide();
    rowLayout->addWidget(reason);
    return row;
}

QComboBox *comboBox(const char *name, const std::vector<std::pair<QString, QString>> &items) {
    auto *box = new QComboBox;
    box->setObjectName(QString::fromLatin1(name));
    for (const auto &[text, data] : items)
        box->addItem(text, data);
    box->setFocusPolicy(Qt::StrongFocus); // no focus from the wheel
    return box;
}

} // namespace

InputPanel::InputPanel(TuningSession &session, QWidget *parent)
    : QTabWidget(parent), m_session(session) {
    setObjectName(QStringLiteral("inputs"));
    addTab(buildFilter(), tr("Filter"));
    addTab(buildMeasurement(), tr("Measurement"));
    connect(&m_session, &TuningSession::inputsChanged, this, &InputPanel::showInputs);
    connect(&m_session, &TuningSession::sweepChanged, this, &InputPanel::showSweep);
    connect(&m_session, &TuningSession::viewChanged, this, &InputPanel::showView);
}

QLineEdit *InputPanel::addField(QFormLayout *form, const char *name, const QString &label,
                                const QString &text, const QString &unit, InputField which) {
    auto *edit = new QLineEdit(text);
    edit->setObjectName(QString::fromLatin1(name));
    QLabel *reason = plainLabel((std::string(name) + "Reason").c_str());
    form->addRow(label, withReason(edit, reason, unit));
    connect(edit, &QLineEdit::textChanged, this, &InputPanel::readTexts);
    m_fieldMarks.push_back({which, {edit, reason}});
    return edit;
}

void InputPanel::followJournal(TuningJournal &journal) {
    auto *unit = new QLineEdit(journal.unit());
    unit->setObjectName(QStringLiteral("unit"));
    unit->setPlaceholderText(tr("none"));
    unit->setToolTip(tr("The serial number of the unit on the bench: the journal keeps its "
                        "sweeps and plans under it"));
    QLabel *reason = plainLabel("unitReason");
    const int row = m_filterForm->rowCount() - 1; // above the stage
    m_filterForm->insertRow(row, tr("Unit serial"), withReason(unit, reason));
    auto mark = [unit, reason, &journal] {
        const bool bad = !journal.unit().isEmpty() && !journal.unitValid();
        reason->setText(bad ? tr("1 to 64 printable characters") : QString());
        reason->setVisible(bad);
        restyle(unit, bad ? QStringLiteral("border: 2px solid #b00020;") : QString());
    };
    connect(unit, &QLineEdit::textChanged, &journal, [&journal, mark](const QString &text) {
        journal.setUnit(text);
        mark();
    });
    mark();
}

QWidget *InputPanel::buildFilter() {
    auto *page = new QWidget;
    auto *column = new QVBoxLayout(page);
    auto *formPage = new QWidget;
    auto *form = new QFormLayout(formPage);
    form->setContentsMargins(0, 0, 0, 0);
    m_order = addField(form, "order", tr("Order"), QStringLiteral("5"), {}, InputField::Order);
    m_bandwidth = addField(form, "bandwidth", tr("Bandwidth"), QStringLiteral("10"), tr("MHz"),
                           InputField::Bandwidth);
    m_ripple = addField(form, "ripple", tr("Ripple"), QStringLiteral("0.01"), tr("dB"),
                        InputField::Ripple);
    m_f0 = addField(form, "f0", tr("Band centre f0"), QStringLiteral("1000"), tr("MHz"),
                    InputField::F0);
    m_qu = addField(form, "qu", tr("Unloaded Q"), {}, {}, InputField::Qu);
    m_qu->setPlaceholderText(tr("lossless"));
    // The mapping of the resonators: its data is the input rule's word.
    m_resonator = comboBox("resonator", {{tr("Lumped"), QStringLiteral("lumped")},
                                         {tr("Coaxial, quarter-wave"), QStringLiteral("coaxial")},
                                         {tr("Waveguide, half-wave"), QStringLiteral("waveguide")},
                                         {tr("Chosen by the sweep"), QStringLiteral("auto")}});
    m_resonator->setToolTip(tr("How a resonator's frequency maps to the prototype's: lumped, a "
                               "quarter-wave TEM line (wider bands; repeats at 3 f0) or a "
                               "waveguide cavity (steeper below the band)"));
    form->addRow(tr("Resonators"), m_resonator);
    // The last stage's end (none: the sweep shows it).
    m_output = comboBox("output", {{tr("As the sweep shows"), QString()},
                                   {tr("Loaded"), QStringLiteral("loaded")},
                                   {tr("Open"), QStringLiteral("open")}});
    m_output->setToolTip(tr("At the last stage: the output loaded (the whole filter) or open"));
    form->addRow(tr("Last stage's output"), m_output);
    // A cross-coupled design: its zeros and the couplings that make them.
    m_zeros = addField(form, "zeros", tr("Transmission zeros"), {}, tr("MHz"), InputField::Zeros);
    m_zeros->setPlaceholderText(tr("none: in-line"));
    m_zeros->setToolTip(tr("The design's transmission zeros in MHz, separated by commas "
                           "(985, 1015); the whole filter is then diagnosed by its coupling "
                           "matrix"));
    m_topology = addField(form, "topology", tr("Topology"), {}, {}, InputField::Topology);
    m_topology->setPlaceholderText(tr("folded with zeros, else in-line"));
    m_topology->setToolTip(tr("inline, folded, ct (cascaded triplets), cq (cascaded "
                              "quadruplets) or the couplings between resonators, such as "
                              "1-2,2-3,3-4,1-4"));
    for (QComboBox *box : {m_resonator, m_output})
        connect(box, &QComboBox::currentIndexChanged, this, &InputPanel::readTexts);
    // Stage by stage, or the assembled filter diagnosed from one sweep.
    m_mode = comboBox("mode", {{tr("Stage by stage"), {}}, {tr("Whole filter"), {}}});
    m_mode->setToolTip(tr("Whole filter: the assembled filter's sweep (S11 and S21, or S11) "
                          "fitted for every resonator and coupling"));
    form->addRow(tr("Tuning"), m_mode);
    m_filterForm = form;
    connect(m_mode, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_session.setWholeFilter(index == 1); });
    m_stage = new QSpinBox;
    m_stage->setObjectName(QStringLiteral("stage"));
    m_stage->setFocusPolicy(Qt::StrongFocus);
    // The order's whole range: a stage beyond the order is marked, never
    // changed, so typing a new order keeps the stage.
    m_stage->setRange(1, tableMaximumOrder);
    QLabel *stageReason = plainLabel("stageReason");
    form->addRow(tr("Stage"), withReason(m_stage, stageReason));
    m_fieldMarks.push_back({InputField::Stage, {m_stage, stageReason}});
    connect(m_stage, &QSpinBox::valueChanged, this, &InputPanel::readTexts);
    for (const auto &[text, key, step] :
         {std::tuple{tr("&Next stage"), QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
          std::tuple{tr("&Previous stage"), QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1}}) {
        auto *action = new QAction(text, this);
        action->setShortcut(key);
        connect(action, &QAction::triggered, m_stage, [this, by = step] { m_stage->stepBy(by); });
        m_stageActions << action;
    }
    column->addWidget(formPage);
    buildStageTable();
    column->addWidget(m_stages);
    column->addStretch(1);
    return page;
}

void InputPanel::buildStageTable() {
    m_stageModel = new StageTableModel(this);
    m_stages = new QTableView;
    m_stages->setObjectName(QStringLiteral("stageTable"));
    m_stages->setModel(m_stageModel);
    m_stages->verticalHeader()->hide();
    m_stages->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_stages->setSelectionMode(QAbstractItemView::SingleSelection);
    m_stages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_stages->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_stages->horizontalHeader()->setStretchLastSection(true);
    const int row = m_stages->fontMetrics().height() + 6;
    m_stages->verticalHeader()->setDefaultSectionSize(row);
    m_stages->setMinimumHeight(5 * row + m_stages->horizontalHeader()->sizeHint().height() + 4);
    m_stages->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_stages->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    connect(m_stages->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const auto rows = m_stages->selectionModel()->selectedRows();
        if (!rows.isEmpty() && rows.first().row() + 1 != m_stage->value())
            m_stage->setValue(rows.first().row() + 1);
    });
}

QWidget *InputPanel::buildMeasurement() {
    auto *page = new QWidget;
    auto *form = new QFormLayout(page);
    m_file = plainLabel("file", tr("No sweep: open a Touchstone file (Ctrl+O) or drop one here."));
    form->addRow(m_file);
    m_parameter = comboBox("parameter", {{QStringLiteral("S11"), {}},
                                         {QStringLiteral("S22"), {}},
                                         {QStringLiteral("S21"), {}},
                                         {QStringLiteral("S12"), {}}});
    form->addRow(tr("Parameter"), m_parameter);
    connect(m_parameter, &QComboBox::currentTextChanged, this, &InputPanel::readTexts);
    addOptions(form);
    m_average = new QSpinBox;
    m_average->setObjectName(QStringLiteral("average"));
    m_average->setRange(1, 64);
    m_average->setToolTip(tr("The trace and the verdict are of the complex average of this many "
                             "sweeps; 1 takes each sweep as it comes"));
    form->addRow(tr("Average (sweeps)"), m_average);
    connect(m_average, &QSpinBox::valueChanged, &m_session, &TuningSession::setAveraging);
    m_sweepMessage = plainLabel("sweepMessage");
    m_sweepMessage->setStyleSheet(errorColour);
    m_sweepMessage->hide();
    form->addRow(m_sweepMessage);
    return page;
}

void InputPanel::addOptions(QFormLayout *form) {
    struct Option {
        QLineEdit *InputPanel::*edit;
        const char *name;
        QString label, text, tip, placeholder;
        InputField field;
    };
    const QString fitted = tr("fitted");
    const Option options[] = {
        {&InputPanel::m_aperture,
         "aperture",
         tr("Aperture"),
         QStringLiteral("2"),
         tr("Frequency steps (2), a percentage of the span (5%) or a width in MHz (1.5MHz)"),
         {},
         InputField::Aperture},
        {&InputPanel::m_edelay,
         "edelay",
         tr("Electrical delay (ns)"),
         QStringLiteral("0"),
         tr("Removed from the phase before the group delay is taken"),
         {},
         InputField::ElectricalDelay},
        {&InputPanel::m_tolerance,
         "tolerance",
         tr("Tolerance (%)"),
         QStringLiteral("2"),
         tr("The largest deviation of the delay at f0, and of each coupling, that passes"),
         {},
         InputField::Tolerance},
        {&InputPanel::m_toleranceFrequency,
         "toleranceFrequency",
         tr("Resonator tolerance (% of BW)"),
         QStringLiteral("2"),
         tr("The largest offset of a resonator from f0 that passes, in % of the bandwidth"),
         {},
         InputField::ToleranceFrequency},
        {&InputPanel::m_couplingSlope,
         "couplingSlope",
         tr("Couplings' slope"),
         {},
         tr("k(f) = k0 (f/f0)^P, as the filter's design gives it; empty: fitted where the sweep "
            "shows it"),
         fitted,
         InputField::CouplingSlope},
        {&InputPanel::m_qeSlope,
         "qeSlope",
         tr("Ports' slope"),
         {},
         tr("1/Qe(f) = (f/f0)^P / Qe0, as the filter's design gives it; empty: fitted where the "
            "sweep shows it"),
         fitted,
         InputField::QeSlope},
        {&InputPanel::m_cutoff,
         "cutoff",
         tr("Waveguide cut-off (MHz)"),
         {},
         tr("The guide's cut-off frequency, for waveguide resonators; empty: fitted to the sweep"),
         fitted,
         InputField::Cutoff},
    };
    for (const Option &o : options) {
        QLineEdit *edit = addField(form, o.name, o.label, o.text, {}, o.field);
        edit->setToolTip(o.tip);
        edit->setPlaceholderText(o.placeholder);
        this->*o.edit = edit;
    }
}

std::vector<std::pair<QLineEdit *, const char *>> InputPanel::savedFields() const {
    return {{m_order, "order"},
            {m_bandwidth, "bandwidth"},
            {m_ripple, "ripple"},
            {m_f0, "f0"},
            {m_qu, "qu"},
            {m_aperture, "aperture"},
            {m_edelay, "edelay"},
            {m_tolerance, "tolerance"},
            {m_toleranceFrequency, "toleranceFrequency"},
            {m_couplingSlope, "couplingSlope"},
            {m_qeSlope, "qeSlope"},
            {m_cutoff, "cutoff"},
            {m_zeros, "zeros"},
            {m_topology, "topology"}};
}

void InputPanel::restore(const QSettings &settings) {
    const auto value = [&](const char *key, const QVariant &fallback = {}) {
        return settings.value(QStringLiteral("inputs/") + QLatin1String(key), fallback);
    };
    for (const auto &[edit, key] : savedFields())
        if (const QVariant text = value(key); text.isValid())
            edit->setText(text.toString());
    m_stage->setValue(value("stage", 1).toInt());
    m_average->setValue(value("average", 1).toInt());
    m_parameter->setCurrentText(value("parameter", QStringLiteral("S11")).toString());
    m_resonator->setCurrentIndex(std::max(0, m_resonator->findData(value("resonator").toString())));
    m_output->setCurrentIndex(std::max(0, m_output->findData(value("output").toString())));
    readTexts();
}

void InputPanel::save(QSettings &settings) const {
    const auto set = [&](const char *key, const QVariant &value) {
        settings.setValue(QStringLiteral("inputs/") + QLatin1String(key), value);
    };
    for (const auto &[edit, key] : savedFields())
        set(key, edit->text());
    set("stage", m_stage->value());
    set("average", m_average->value());
    set("parameter", m_parameter->currentText());
    set("resonator", m_resonator->currentData());
    set("output", m_output->currentData());
}

int InputPanel::stage() const {
    return m_stage->value();
}

QString InputPanel::parameter() const {
    return m_parameter->currentText();
}

QString InputPanel::sweepMessage() const {
    return m_sweepMessage->isHidden() ? QString() : m_sweepMessage->text();
}

int InputPanel::tableWidth() const {
    int width = 0;
    for (int c = 0; c < m_stageModel->columnCount(); ++c)
        width += m_stages->fontMetrics().horizontalAdvance(
                     m_stageModel->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString()) +
                 24;
    return width;
}

void InputPanel::readTexts() {
    const auto text = [](const QLineEdit *edit) { return edit->text().trimmed().toStdString(); };
    StageInputTexts texts;
    texts.order = m_order->text().toStdString();
    texts.bandwidth = m_bandwidth->text().toStdString();
    texts.ripple = m_ripple->text().toStdString();
    texts.f0 = text(m_f0);
    if (const QString qu = m_qu->text().trimmed(); !qu.isEmpty())
        texts.qu = qu.toStdString();
    texts.stage = std::to_string(m_stage->value());
    texts.parameter = m_parameter->currentText().toStdString();
    texts.aperture = text(m_aperture);
    texts.electricalDelay = text(m_edelay);
    texts.tolerance = text(m_tolerance);
    texts.toleranceFrequency = text(m_toleranceFrequency);
    texts.couplingSlope = text(m_couplingSlope);
    texts.qeSlope = text(m_qeSlope);
    texts.resonator = m_resonator->currentData().toString().toStdString();
    // A cut-off counts for waveguides only: kept in its field, not read
    // for the other kinds.
    m_cutoff->setEnabled(texts.resonator == "waveguide");
    if (m_cutoff->isEnabled())
        texts.cutoff = text(m_cutoff);
    texts.output = m_output->currentData().toString().toStdString();
    texts.zeros = text(m_zeros);
    texts.topology = text(m_topology);
    m_session.setTexts(texts);
}

void InputPanel::showInputs() {
    for (const auto &[field, widgets] : m_fieldMarks) {
        const auto &[edit, reason] = widgets;
        QString message;
        for (const InputProblem &problem : m_session.problems())
            if (problem.field == field && problem.kind != InputProblem::RunTime)
                message = problemFor(problem);
        reason->setText(message);
        reason->setVisible(!message.isEmpty());
        restyle(edit, message.isEmpty() ? QString() : QStringLiteral("border: 2px solid #b00020;"));
    }
    // The last good table stays, greyed, while the inputs do not read.
    const auto &inputs = m_session.inputs();
    m_stageModel->setCurrent(inputs.has_value());
    // The stage table is the in-line filter's: hidden for a design with zeros.
    if (inputs)
        m_stages->setVisible(!inputs->design);
    if (inputs) {
        m_stageModel->setRows(m_session.stageRows());
        const QSignalBlocker block(m_stages->selectionModel());
        m_stages->selectRow(inputs->stage - 1);
    }
}

void InputPanel::showSweep() {
    const auto &network = m_session.network();
    const auto &failure = m_session.sweepFailure();
    if (failure) {
        const QString message = failureFor(*failure);
        m_sweepMessage->setText(network ? tr("%1\nThe sweep on screen is the file's previous "
                                             "content.")
                                              .arg(message)
                                        : message);
    }
    m_sweepMessage->setVisible(failure.has_value());
    if (!network) {
        if (failure)
            m_file->setText(tr("No sweep."));
        return;
    }
    // Every parameter of the sweep, S11 and S22 first, the chosen one kept
    // where the sweep has it.
    const QString chosen = m_parameter->currentText();
    QStringList names;
    for (int row = 1; row <= network->ports; ++row)
        for (int column = 1; column <= network->ports; ++column)
            if (network->has({row, column}) || network->only)
                names << qs(SParameter{row, column}.name());
    std::stable_partition(names.begin(), names.end(),
                          [](const QString &n) { return n[1] == n[2]; });
    QStringList shown;
    for (int i = 0; i < m_parameter->count(); ++i)
        shown << m_parameter->itemText(i);
    if (shown != names) {
        const QSignalBlocker block(m_parameter);
        m_parameter->clear();
        m_parameter->addItems(names);
        m_parameter->setCurrentText(names.contains(chosen) ? chosen : names.first());
    }
    const bool analyser = m_session.fromAnalyser();
    const QString name = sweepName(m_session);
    const QString ports = network->ports == 1 ? tr("1 port") : tr("%1 ports").arg(network->ports);
    QString described = tr("%1: %2 points, %3 MHz to %4 MHz, %5")
                            .arg(name)
                            .arg(network->size())
                            .arg(qs(formatShortest(network->frequencyMHz.front())),
                                 qs(formatShortest(network->frequencyMHz.back())), ports);
    if (analyser && m_session.sweepRate() > 0)
        described += tr(", %1 sweeps/s").arg(number(m_session.sweepRate(), 1));
    if (m_session.averaging() > 1)
        described += tr(", the average of %1 of %2 sweeps")
                         .arg(m_session.averaged())
                         .arg(m_session.averaging());
    m_file->setText(described);
    m_file->setToolTip(plainToolTip(m_session.origin()));
    if (m_parameter->currentText() != chosen)
        readTexts(); // the parameter follows the sweep
}

void InputPanel::showView() {
    const bool whole = m_session.wholeFilter();
    if (m_mode->currentIndex() != (whole ? 1 : 0)) {
        const QSignalBlocker block(m_mode);
        m_mode->setCurrentIndex(whole ? 1 : 0);
    }
    m_stage->setEnabled(!whole);
    m_output->setEnabled(!whole);
}

} // namespace varnel
