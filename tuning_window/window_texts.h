#pragma once

#include "tuning/check.h"
#include "tuning/diagnosis.h"
#include "tuning/matrix_diagnosis.h"
#include "tuning/report_warnings.h"
#include "tuning/stage_inputs.h"
#include "tuning/time_domain.h"
#include "tuning_window/tuning_session.h"

#include <QString>

#include <string>
#include <vector>

// What the tuning window says, in its language: every sentence is built
// from a report's values, and in English it is the text varnel-calc prints
// (as a sentence where the window shows one).
namespace varnel {

QString qs(const std::string &text);
// A file name or path from outside as labels show it: control characters
// and anything that could act on the text escaped, so that no name can
// break a line or carry markup.
QString shownName(const QString &path);
// The sweep on screen as labels name it: an analyser by its address, a file
// by its name, each shown as shownName shows it.
QString sweepName(const TuningSession &session);
QString number(double value, int decimals);

// Whether a translation other than English is installed: a reader error
// in English is the reader's own message.
void setTextsTranslated(bool installed);
bool textsTranslated();

// The advice in the window's language; in English the text varnel-calc
// check prints (adviceText).
QString findingFor(const Finding &finding);
QString adviceFor(const Verdict &verdict);
QString adviceFor(const CheckReport &report);
// The whole filter's diagnosis in the window's language; in English the
// text varnel-calc diagnose prints (diagnosisText).
QString diagnosisFor(const Diagnosis &diagnosis);
// A diagnosis of any topology, likewise (matrixDiagnosisText).
QString diagnosisFor(const MatrixDiagnosis &diagnosis);
// A warning beside either verdict in the window's language; in English the
// text varnel-calc prints (warningText), as a sentence.
QString warningFor(const ReportWarning &warning);
// The advice with the report's warnings after it, each on a line.
QString withWarnings(QString advice, const std::vector<ReportWarning> &warnings);
// A waveguide's cut-off as the fit has it, on a line of its own; empty
// for the other kinds.
QString cutoffFor(ResonatorKind kind, double cutoffMHz, bool fitted);

// An input problem (shown at its field), a refusal of the check, a failure
// of the sweep source, in the window's language; a reader error in English
// is the reader's own message.
QString problemFor(const InputProblem &problem);
QString refusalFor(const CheckRefusal &refusal);
QString failureFor(const SweepFailure &failure);
// Why an analyser did not answer, or answered wrong, in the window's
// language: the system's words in the user's, the link's own sentences
// translated, a protocol's finding as the link says it.
QString linkErrorFor(const LinkError &error);
// A protocol's finding about an analyser's reply; in English the text
// varnel-calc prints (findingText).
QString protocolFindingFor(const ProtocolFinding &finding);
// Why a sweep has no time-domain response.
QString timeRefusalFor(const TimeDomainRefusal &refusal);

} // namespace varnel
