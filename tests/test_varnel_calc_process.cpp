// Runs the built varnel-calc as a separate process, as a script would.
#include "fake_librevna.h"
#include "fake_nanovna.h"
#include "fake_scpi_analyser.h"
#include "filter_generator.h"
#include "number_text/number_text.h"
#include "shell_run.h"
#include "table_test.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using Result = varnel::testing::ShellOutcome;

// Runs `varnel-calc ARGS` through the shell, stdout captured (stderr merged
// when asked); `input` becomes its standard input.
Result runCalc(const std::string &args, const std::string &input = "", bool mergeErr = false) {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_'); // parameterised tests' names
    const std::string inputFile = ::testing::TempDir() + "varnel_calc_" + name + ".txt";
    std::ofstream(inputFile, std::ios::binary) << input;
    const std::string command = std::string("'") + VARNEL_CALC_PATH + "' " + args + " < '" +
                                inputFile + "'" + (mergeErr ? " 2>&1" : " 2>/dev/null");
    return varnel::testing::runShell(command);
}

TEST(VarnelCalcProcess, InitialTexts) {
    const Result r = runCalc("");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "48.149\n");
}

TEST(VarnelCalcProcess, FieldArguments) {
    const Result r = runCalc("7 5 0.05");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "131.725\n");
}

TEST(VarnelCalcProcess, RunTimeErrorOnStandardError) {
    EXPECT_EQ(runCalc("5 ''").out, "");
    const Result r = runCalc("5 ''", "", true);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "error 11: Division by zero\n");
}

TEST(VarnelCalcProcess, UnknownOption) {
    const Result r = runCalc("--frobnicate", "", true);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("unknown option"), std::string::npos);
}

TEST(VarnelCalcProcess, Batch) {
    const Result r = runCalc("--batch", "5\t10\t0.01\r\n1\t10\n3\t10\t0.01");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "48.149\ninvalid: expected 3 tab-separated fields (order, bandwidth, ripple), found "
              "2\n40.054\n");
}

TEST(VarnelCalcProcess, LargeBatchAnswersEveryLine) {
    std::string input;
    std::string expected;
    for (int i = 0; i < 50000; ++i) {
        input += i % 2 ? "5\t10\t0.01\n" : "5\t\t0.01\n";
        expected += i % 2 ? "48.149\n" : "error 11: Division by zero\n";
    }
    const Result r = runCalc("--batch", input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
}

// A failed read or write ends the run with status 1 and a message naming the
// stream and the cause; nothing is taken for success or for the end of input.
struct IoFailureRow {
    const char *name;
    const char *args;
    const char *redirections; // of the shell command, after the arguments
    const char *message;
};

using varnel::testing::PrintTo;

const IoFailureRow ioFailureRows[] = {
    {"single_to_full_disk", "", "> /dev/full", "cannot write output: No space left on device"},
    {"single_to_closed_output", "", ">&-", "cannot write output: Bad file descriptor"},
    {"help_to_full_disk", "--help", "> /dev/full", "cannot write output: No space left"},
    {"version_to_full_disk", "--version", "> /dev/full", "cannot write output: No space left"},
    {"table_to_full_disk", "table", "> /dev/full", "cannot write output: No space left"},
    {"table_help_to_closed_output", "table --help", ">&-", "cannot write output: Bad file"},
    {"batch_to_full_disk", "--batch", "< BATCH > /dev/full", "cannot write output: No space left"},
    {"batch_reader_gone", "--batch", "< BATCH | (exec 0<&-; true)",
     "cannot write output: Broken pipe"},
    {"batch_from_directory", "--batch", "< / > /dev/null",
     "cannot read standard input: Is a directory"},
    {"batch_from_closed_input", "--batch", "<&- > /dev/null",
     "cannot read standard input: Bad file"},
};

class IoFailureTest : public ::testing::TestWithParam<IoFailureRow> {};

TEST_P(IoFailureTest, EndsWithStatusOneAndNamesTheStream) {
    const IoFailureRow &row = GetParam();
    const std::string dir = ::testing::TempDir();
    const std::string batchFile = dir + "varnel_io_batch_" + row.name + ".txt";
    {
        std::ofstream batch(batchFile, std::ios::binary);
        for (int i = 0; i < 200000; ++i)
            batch << "5\t10\t0.01\n";
    }
    std::string redirections = row.redirections;
    if (const auto at = redirections.find("BATCH"); at != std::string::npos)
        redirections.replace(at, 5, "'" + batchFile + "'");
    const std::string errFile = dir + "varnel_io_err_" + row.name + ".txt";
    // SIGPIPE ignored, as a shell script or a parent process may leave it;
    // the status of varnel-calc itself, even when it stands before a pipe.
    const std::string command = "trap '' PIPE; '" + std::string(VARNEL_CALC_PATH) + "' " +
                                row.args + " 2>'" + errFile + "' " + redirections +
                                "; exit ${PIPESTATUS[0]}";
    const std::string script = dir + "varnel_io_" + row.name + ".sh";
    std::ofstream(script) << command << '\n';
    const int status = std::system(("bash '" + script + "'").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::ifstream errStream(errFile);
    const std::string err((std::istreambuf_iterator<char>(errStream)), {});
    EXPECT_EQ(err.rfind("varnel-calc: ", 0), 0u) << err;
    EXPECT_NE(err.find(row.message), std::string::npos) << err;
    // Batch mode stops at the first failure: one message, not one per line.
    EXPECT_EQ(err.find("varnel-calc:", 1), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(Streams, IoFailureTest, ::testing::ValuesIn(ioFailureRows),
                         varnel::testing::RowName());

// The analyser forms on a file with every quirk real files have
// (tests/data/make_quirks.py): a stage 2 sweep, order 5, 10 MHz, 0.01 dB,
// f0 1000 MHz, Qu 3000, with a 5 ns leakage path as S21.
const std::string quirks = std::string(VARNEL_TEST_DATA) + "/quirks.s2p";

std::vector<std::vector<double>> csvRows(const std::string &text, std::size_t columns) {
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line); // header
    std::vector<std::vector<double>> rows;
    while (std::getline(lines, line)) {
        std::vector<double> row;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');)
            row.push_back(std::stod(cell));
        EXPECT_EQ(row.size(), columns) << line;
        rows.push_back(row);
    }
    return rows;
}

TEST(VarnelCalcTuning, DelayTraceAndOneFrequency) {
    const Result trace = runCalc("delay '" + quirks + "'");
    EXPECT_EQ(trace.status, 0);
    EXPECT_EQ(trace.out.substr(0, trace.out.find('\n')), "f_mhz,delay_ns");
    const auto rows = csvRows(trace.out, 2);
    EXPECT_EQ(rows.size(), 599u); // 601 points, aperture 2
    EXPECT_DOUBLE_EQ(rows[299][0], 1000);
    const Result at = runCalc("delay '" + quirks + "' --at 1000");
    EXPECT_EQ(at.status, 0);
    EXPECT_EQ(std::stod(at.out), rows[299][1]);
    // The leakage path is a pure 5 ns delay; with it removed nothing is left.
    EXPECT_NEAR(std::stod(runCalc("delay '" + quirks + "' --param S21 --at 1000").out), 5, 1e-6);
    EXPECT_NEAR(std::stod(runCalc("delay '" + quirks + "' --param s12 --edelay 5 --at 990").out), 0,
                1e-6);
    // A delay outside the trace is an error, not a guess.
    const Result outside = runCalc("delay '" + quirks + "' --at 2000", "", true);
    EXPECT_EQ(outside.status, 1);
    EXPECT_NE(outside.out.find("2000 MHz is outside the delay trace"), std::string::npos);
}

TEST(VarnelCalcTuning, CurveAndItsReferenceFile) {
    const Result csv = runCalc("curve --stage 2 --f0 1000 --points 5");
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')), "f_mhz,delay_ns,s11_db");
    const auto rows = csvRows(csv.out, 3);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_DOUBLE_EQ(rows.front()[0], 985); // span 3 x 10 MHz
    EXPECT_DOUBLE_EQ(rows[2][0], 1000);
    EXPECT_NEAR(rows[2][1], 83.072, 0.0005); // the table's stage 2 delay
    EXPECT_NEAR(rows[2][2], 0, 1e-9);

    const std::string file = ::testing::TempDir() + "varnel_target.s1p";
    const Result s1p = runCalc(
        "curve --stage 2 --f0 1000 --qu 3000 --span 20 --points 4001 --s1p > '" + file + "'");
    EXPECT_EQ(s1p.status, 0);
    std::ifstream written(file);
    std::string first, second, option;
    std::getline(written, first);
    std::getline(written, second);
    std::getline(written, option);
    EXPECT_EQ(first.rfind("! Varnel target curve: stage 2 of order 5", 0), 0u) << first;
    EXPECT_EQ(option, "# MHz S RI R 50");
    // Read back as a measurement, the reference passes its own check.
    const Result check = runCalc("check --stage 2 --f0 1000 --qu 3000 '" + file + "' --json");
    EXPECT_EQ(check.status, 0);
    const auto report = nlohmann::json::parse(check.out);
    EXPECT_NEAR(report["deviation_percent"].get<double>(), 0, 1e-9);
}

// check fits the stage to the whole sweep and reports each element: on the
// test sweep written by tests/data/make_mistuned.py (resonator 2 of stage 2
// 0.25 MHz high, Qu 3000, no cable) the fault comes back in the JSON and in
// the text.
TEST(VarnelCalcTuning, CheckReportsTheFittedStage) {
    const std::string sweep = std::string(VARNEL_TEST_DATA) + "/stage2-mistuned.s2p";
    const Result json = runCalc("check --stage 2 --f0 1000 --qu 3000 '" + sweep + "' --json");
    const auto j = nlohmann::json::parse(json.out);
    ASSERT_EQ(j["resonators"].size(), 2u);
    EXPECT_EQ(j["resonators"][1]["index"], 2);
    EXPECT_NEAR(j["resonators"][0]["offset_mhz"].get<double>(), 0, 0.003);
    EXPECT_NEAR(j["resonators"][1]["offset_mhz"].get<double>(), 0.25, 0.003);
    EXPECT_NEAR(j["resonators"][1]["offset_percent_bw"].get<double>(), 2.5, 0.03);
    ASSERT_EQ(j["couplings"].size(), 1u);
    EXPECT_EQ(j["couplings"][0]["from"], 1);
    EXPECT_EQ(j["couplings"][0]["to"], 2);
    EXPECT_NEAR(j["couplings"][0]["error_percent"].get<double>(), 0, 0.05);
    ASSERT_EQ(j["external"].size(), 1u);
    EXPECT_NEAR(j["external"][0]["qe"].get<double>(), 75.63, 0.01); // g1 / FBW
    EXPECT_NEAR(j["fitted_qu"].get<double>(), 3000, 3);
    EXPECT_NEAR(j["cable_delay_ns"].get<double>(), 0, 0.001);
    // A sweep written to 12 decimals: its noise (the rounding) and the
    // fit's residual are below what a report states as a number.
    for (const char *key : {"noise_db", "fit_residual_db"})
        EXPECT_TRUE(j[key].is_null()) << key;
    const Result text = runCalc("check --stage 2 --f0 1000 --qu 3000 '" + sweep + "'");
    EXPECT_NE(text.out.find("resonator 2   +0.250 MHz (+2.50 % of BW)"), std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("residual below -200 dB, trace noise below -200 dB"), std::string::npos)
        << text.out;
    EXPECT_EQ(text.out.find("inf"), std::string::npos) << text.out;
}

// A waveguide filter's target written by curve (a cut-off is required
// there), checked with its cut-off given and fitted: the report and the
// JSON say which, and a cut-off without waveguides is refused.
TEST(VarnelCalcTuning, WaveguideCutOffGivenOrFitted) {
    const std::string file = ::testing::TempDir() + "varnel_waveguide.s1p";
    const std::string design = " 5 80 0.01";
    EXPECT_EQ(
        runCalc("curve --stage 3 --f0 1000 --qu 3000 --resonator waveguide --span 240" + design)
            .status,
        2);
    ASSERT_EQ(runCalc("curve --stage 3 --f0 1000 --qu 3000 --resonator waveguide --cutoff 700 "
                      "--span 240 --s1p" +
                      design + " > '" + file + "'")
                  .status,
              0);
    const std::string check =
        "check --stage 3 --f0 1000 --qu 3000 --resonator waveguide '" + file + "'" + design;
    const auto given = nlohmann::json::parse(runCalc(check + " --cutoff 700 --json").out);
    EXPECT_EQ(given["verdict"], "pass");
    EXPECT_EQ(given["cutoff"], "given");
    EXPECT_EQ(given["cutoff_mhz"], 700);
    EXPECT_TRUE(given["cutoff_range_mhz"].is_null());
    const Result fitted = runCalc(check);
    EXPECT_EQ(fitted.status, 0) << fitted.out;
    EXPECT_NE(fitted.out.find(" MHz (fitted"), std::string::npos) << fitted.out;
    const auto j = nlohmann::json::parse(runCalc(check + " --json").out);
    EXPECT_EQ(j["cutoff"], "fitted");
    EXPECT_NEAR(j["cutoff_mhz"].get<double>(), 700, 1);
    ASSERT_EQ(j["cutoff_range_mhz"].size(), 2u);
    const Result lumped =
        runCalc("check --stage 3 --f0 1000 --cutoff 700 '" + file + "'" + design, "", true);
    EXPECT_EQ(lumped.status, 2);
    EXPECT_NE(lumped.out.find("--cutoff counts for waveguide resonators only"), std::string::npos)
        << lumped.out;
}

TEST(VarnelCalcTuning, CheckReportsInEveryForm) {
    const Result json = runCalc("check --stage 2 --f0 1000 --qu 3000 '" + quirks + "' --json");
    EXPECT_EQ(json.status, 0);
    const auto j = nlohmann::json::parse(json.out);
    for (const char *key :
         {"stage", "f0_mhz", "target_delay_ns", "measured_delay_ns", "deviation_percent",
          "tolerance_percent", "pass", "s11_db_measured", "s11_db_target", "lobes"})
        EXPECT_TRUE(j.contains(key)) << key;
    EXPECT_EQ(j["stage"], 2);
    EXPECT_EQ(j["pass"], true);
    EXPECT_EQ(j["tolerance_percent"], 2);
    EXPECT_LT(std::abs(j["deviation_percent"].get<double>()), 0.01);
    ASSERT_EQ(j["lobes"].size(), 2u);
    EXPECT_LT(j["lobes"][0]["f_mhz"].get<double>(), 1000);
    EXPECT_GT(j["lobes"][1]["f_mhz"].get<double>(), 1000);
    EXPECT_FALSE(j.contains("qe")); // stage 1 only
    // The JSON's delay is the number delay --at gives, digit for digit.
    EXPECT_EQ(j["measured_delay_ns"].get<double>(),
              std::stod(runCalc("delay '" + quirks + "' --at 1000").out));

    const Result csv = runCalc("check --stage 2 --f0 1000 --qu 3000 '" + quirks + "' --csv");
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')),
              "f_mhz,delay_measured_ns,delay_target_ns,s11_db_measured,s11_db_target");
    EXPECT_EQ(csvRows(csv.out, 5).size(), 599u);

    const Result text = runCalc("check --stage 2 --f0 1000 --qu 3000 '" + quirks + "'");
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("PASS: Within tolerance: go on to stage 3."), std::string::npos);

    EXPECT_EQ(j["verdict"], "pass");
    EXPECT_TRUE(j["findings"].empty());
}

// The three verdicts and their statuses. The mistuned sweep (resonator 2 of
// stage 2 written 0.25 MHz high by a generator of its own) fails with that
// resonator named, and passes with a resonator tolerance of 3 % of BW; the
// same sweep held as stage 5 does not match, and cannot decide.
TEST(VarnelCalcTuning, CheckVerdicts) {
    const std::string mistuned = std::string(VARNEL_TEST_DATA) + "/stage2-mistuned.s2p";
    const std::string args = "check --stage 2 --f0 1000 --qu 3000 '" + mistuned + "'";
    const Result fail = runCalc(args);
    EXPECT_EQ(fail.status, 3);
    EXPECT_NE(fail.out.find("FAIL:\n  Resonator 2 is 0.25 MHz (2.5 % of BW) high: turn it down\n"),
              std::string::npos)
        << fail.out;
    const auto j = nlohmann::json::parse(runCalc(args + " --json").out);
    EXPECT_EQ(j["verdict"], "fail");
    EXPECT_EQ(j["pass"], false);
    ASSERT_EQ(j["findings"].size(), 1u);
    EXPECT_EQ(j["findings"][0]["element"], "resonator");
    EXPECT_EQ(j["findings"][0]["index"], 2);
    EXPECT_EQ(j["findings"][0]["direction"], "down");
    EXPECT_NEAR(j["findings"][0]["offset_mhz"].get<double>(), 0.25, 0.003);

    const Result pass = runCalc(args + " --tol-freq 3");
    EXPECT_EQ(pass.status, 0) << pass.out;
    EXPECT_NE(pass.out.find("PASS: Within tolerance: go on to stage 3."), std::string::npos);

    const Result uncertain =
        runCalc("check --stage 5 --f0 1000 --qu 3000 '" + mistuned + "' --output open");
    EXPECT_EQ(uncertain.status, 4) << uncertain.out;
    EXPECT_NE(uncertain.out.find("UNCERTAIN: The sweep cannot decide: "), std::string::npos)
        << uncertain.out;
}

struct RefusalRow {
    const char *name;
    std::string args;
    int status;
    std::string message;
};

const RefusalRow refusalRows[] = {
    {"unreadable_file", "delay BROKEN", 1, "broken.s2p:3: expected 9 numbers, found 7"},
    {"missing_file", "check --stage 1 --f0 1000 /nonexistent.s1p", 1,
     "/nonexistent.s1p: No such file or directory"},
    {"parameter_not_in_file", "delay QUIRKS --param S31", 2, "there is no S31"},
    {"bad_aperture", "delay QUIRKS --aperture 3GHz", 2, "--aperture needs a number of steps"},
    {"check_needs_f0", "check --stage 1 QUIRKS", 2, "needs --f0"},
    {"stage_beyond_order", "check --stage 6 --f0 1000 QUIRKS", 2,
     "--stage needs a whole number from 1 to 5"},
    {"json_and_csv", "check --stage 1 --f0 1000 QUIRKS --json --csv", 2, "exclude each other"},
    {"qu_not_a_number", "curve --stage 1 --f0 1000 --qu inf", 2, "--qu needs a number above 0"},
    {"span_below_zero_hertz", "curve --stage 1 --f0 10 --span 30", 2, "reaches 0 MHz"},
    {"curve_run_time_error", "curve --stage 1 --f0 1000 5 ''", 1, "error 11: Division by zero"},
    {"f0_outside_sweep", "check --stage 1 --f0 2000 QUIRKS", 1, "is outside the measured delay"},
};

class TuningRefusalTest : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(TuningRefusalTest, StatusAndMessage) {
    const std::string broken = ::testing::TempDir() + GetParam().name + "_broken.s2p";
    std::ofstream(broken) << "# MHz S RI\n1 1 2 3 4 5 6 7 8\n2 1 2 3 4 5 6\n";
    std::string args = GetParam().args;
    for (auto [word, path] : {std::pair{"BROKEN", broken}, {"QUIRKS", quirks}})
        if (const auto at = args.find(word); at != std::string::npos)
            args.replace(at, std::string(word).size(), "'" + path + "'");
    const Result r = runCalc(args, "", true);
    EXPECT_EQ(r.status, GetParam().status) << r.out;
    EXPECT_NE(r.out.find(GetParam().message), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Forms, TuningRefusalTest, ::testing::ValuesIn(refusalRows),
                         varnel::testing::RowName());

TEST(VarnelCalcTuning, EverySubcommandHasHelp) {
    for (const char *subcommand : {"table", "delay", "curve", "check"}) {
        const Result r = runCalc(std::string(subcommand) + " --help");
        EXPECT_EQ(r.status, 0) << subcommand;
        EXPECT_EQ(r.out.rfind(std::string("  varnel-calc ") + subcommand, 0), 0u) << r.out;
    }
    // A usage error points to the help, which names every subcommand.
    const Result usage = runCalc("--frobnicate", "", true);
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.out.find("Try 'varnel-calc --help' for more information."), std::string::npos)
        << usage.out;
    const Result help = runCalc("--help");
    for (const char *subcommand : {"table", "delay", "curve", "check", "diagnose", "watch", "save"})
        EXPECT_NE(help.out.find(std::string("varnel-calc ") + subcommand), std::string::npos);
}

// diagnose on 2-port files written from the chain-matrix generator: the
// three outcomes, their statuses, the JSON keys and the CSV's columns.
std::string s2pOf(const varnel::testing::Filter &filter, const std::string &name) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path) << varnel::testing::s2pText(
        varnel::testing::generateFilter(filter, 801, 15));
    return path;
}

TEST(VarnelCalcTuning, DiagnoseOutcomes) {
    varnel::testing::Filter tuned;
    tuned.delayNs[0] = 1;
    tuned.delayNs[1] = 2;
    const std::string good = s2pOf(tuned, "tuned.s2p");
    const Result pass = runCalc("diagnose '" + good + "' --f0 1000 --json");
    EXPECT_EQ(pass.status, 0) << pass.out;
    const auto j = nlohmann::json::parse(pass.out);
    for (const char *key : {"verdict", "resonators", "couplings", "external", "qu", "port_delay_ns",
                            "return_loss_db", "fit_residual_db", "findings", "warnings"})
        EXPECT_TRUE(j.contains(key)) << key;
    EXPECT_EQ(j["verdict"], "pass");
    EXPECT_EQ(j["resonators"].size(), 5u);
    EXPECT_EQ(j["couplings"].size(), 4u);
    EXPECT_EQ(j["external"].size(), 2u);
    EXPECT_NEAR(j["port_delay_ns"][0].get<double>(), 1, 1e-6);
    EXPECT_NEAR(j["port_delay_ns"][1].get<double>(), 2, 1e-6);
    EXPECT_NEAR(j["qu"].get<double>(), 3000, 0.1);

    varnel::testing::Filter mistuned;
    mistuned.offsetMHz = {0, 0, 0.5};
    const Result fail = runCalc("diagnose '" + s2pOf(mistuned, "mistuned.s2p") + "' --f0 1000");
    EXPECT_EQ(fail.status, 3);
    EXPECT_NE(fail.out.find("FAIL:\n  Resonator 3 is 0.50 MHz (5.0 % of BW) high: turn it down "
                            "(return loss +9.7 dB)."),
              std::string::npos)
        << fail.out;

    varnel::testing::Filter far;
    far.offsetMHz = {0, 8, 0, -6};
    far.couplingScale = {1.3};
    // Diagnosed from the sweep's own start with S21; too far from S11 alone.
    const Result farFail = runCalc("diagnose '" + s2pOf(far, "far.s2p") + "' --f0 1000");
    EXPECT_EQ(farFail.status, 3);
    EXPECT_NE(farFail.out.find("Resonator 2 is 8.0 MHz (80 % of BW) high: turn it down"),
              std::string::npos)
        << farFail.out;
    const Result tooFar = runCalc("diagnose '" + s2pOf(far, "far.s2p") + "' --f0 1000 --s11-only");
    EXPECT_EQ(tooFar.status, 4);
    EXPECT_NE(tooFar.out.find("TOO FAR: The filter is too far from tune to diagnose: tune stage "
                              "by stage first (varnel-calc check)"),
              std::string::npos)
        << tooFar.out;

    const Result csv = runCalc("diagnose '" + good + "' --f0 1000 --csv");
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')),
              "f_mhz,s11_db_measured,s11_db_fitted,s21_db_measured,s21_db_fitted,"
              "delay11_ns_measured,delay11_ns_fitted,delay21_ns_measured,delay21_ns_fitted");
    const Result s11Only = runCalc("diagnose '" + good + "' --f0 1000 --s11-only --json");
    EXPECT_EQ(s11Only.status, 0);
    EXPECT_TRUE(nlohmann::json::parse(s11Only.out)["port_delay_ns"][1].is_null());
}

// An analyser as a source: save writes its sweep, check and delay read it
// as they read a file; an analyser that does not answer is named in the
// message.
TEST(VarnelCalcTuning, AnalyserSources) {
    varnel::testing::FakeScpiAnalyser fake;
    const std::string source = "scpi://127.0.0.1:" + std::to_string(fake.port());
    const std::string out = ::testing::TempDir() + "analyser.s1p";
    const Result saved = runCalc("save " + source + " '" + out + "'");
    ASSERT_EQ(saved.status, 0);
    const auto read = varnel::readTouchstoneFile(out, {varnel::SParameter{1, 1}});
    ASSERT_TRUE(std::holds_alternative<varnel::Network>(read));
    EXPECT_EQ(std::get<varnel::Network>(read).values,
              varnel::testing::FakeScpiAnalyser::sweepValues(1));

    const Result check =
        runCalc("check --stage 2 --f0 1000 --qu 3000 " + source + " 5 10 0.01 --json");
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_EQ(nlohmann::json::parse(check.out)["verdict"], "pass");
    EXPECT_EQ(runCalc("delay " + source + " --at 1000").status, 0);
    EXPECT_EQ(fake.sweepsServed(), 3) << "one complete sweep a run";

    const Result transmission = runCalc("delay " + source + " --param S21", "", true);
    EXPECT_EQ(transmission.status, 2);

    int port = 0;
    {
        varnel::testing::FakeScpiAnalyser gone;
        port = gone.port();
    }
    const std::string refused = "scpi://127.0.0.1:" + std::to_string(port);
    const Result none = runCalc("delay " + refused, "", true);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.out.find(refused + ": connection refused"), std::string::npos) << none.out;
    const std::string libreRefused = "librevna://127.0.0.1:" + std::to_string(port);
    const Result libre = runCalc("delay " + libreRefused, "", true);
    EXPECT_EQ(libre.status, 1);
    EXPECT_NE(libre.out.find(libreRefused + ": connection refused"), std::string::npos)
        << libre.out;
}

// LibreVNA's four traces saved as a 2-port file read back as the GUI gave
// them; a 1-port source refuses a .s2p; a NanoVNA's sweep is checked.
TEST(VarnelCalcTuning, LibreVnaAndNanoVnaSources) {
    varnel::testing::FakeLibreVna libre;
    const std::string source = "librevna://127.0.0.1:" + std::to_string(libre.port());
    const std::string out = ::testing::TempDir() + "libre.s2p";
    ASSERT_EQ(runCalc("save " + source + " '" + out + "'").status, 0);
    const auto saved = varnel::readTouchstoneFile(out);
    const auto given = varnel::readTouchstoneText(
        "given.s2p", varnel::testing::FakeLibreVna::touchstone(1, 201, true));
    ASSERT_TRUE(std::holds_alternative<varnel::Network>(saved));
    EXPECT_EQ(std::get<varnel::Network>(saved).values, std::get<varnel::Network>(given).values);
    const Result s21 = runCalc("delay " + source + " --param S21 --at 1000");
    EXPECT_EQ(s21.status, 0) << s21.out;

    varnel::testing::FakeScpiAnalyser scpi;
    const Result onePort = runCalc(
        "save scpi://127.0.0.1:" + std::to_string(scpi.port()) + " '" + out + "'", "", true);
    EXPECT_EQ(onePort.status, 2);
    EXPECT_NE(onePort.out.find("gives S11 alone: save it as a .s1p file"), std::string::npos)
        << onePort.out;

    varnel::testing::FakeFaults faults;
    faults.points = 101;
    faults.strayPrompts = true;
    varnel::testing::FakeNanoVna nano(faults);
    const Result check = runCalc("check --stage 2 --f0 1000 --qu 3000 nanovna:" + nano.device() +
                                 " 5 10 0.01 --json");
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_EQ(nlohmann::json::parse(check.out)["verdict"], "pass");
    // Its S21 too, but no S12 or S22: a .s2p is refused with the reason,
    // S21 saved alone as a .s1p.
    const std::string nanoSource = "nanovna:" + nano.device();
    const Result half = runCalc("save " + nanoSource + " '" + out + "'", "", true);
    EXPECT_EQ(half.status, 2);
    EXPECT_NE(half.out.find("measures S11 and S21 only (no S12 or S22)"), std::string::npos)
        << half.out;
    const std::string s21Out = ::testing::TempDir() + "nano21.s1p";
    ASSERT_EQ(runCalc("save " + nanoSource + " '" + s21Out + "' --param S21").status, 0);
    const auto transmission = varnel::readTouchstoneFile(s21Out);
    ASSERT_TRUE(std::holds_alternative<varnel::Network>(transmission));
    EXPECT_EQ(std::get<varnel::Network>(transmission).values.size(), 101u);
    const Result s22 = runCalc("delay " + nanoSource + " --param S22", "", true);
    EXPECT_EQ(s22.status, 2);
    EXPECT_NE(s22.out.find("it gives S11 and S21 only"), std::string::npos) << s22.out;
}

// watch prints one verdict a completed sweep, numbered, until --count; a
// connection dropped halfway through a block is reconnected and the count
// goes on with whole sweeps; the status is the last verdict's.
TEST(VarnelCalcTuning, WatchAnAnalyser) {
    varnel::testing::FakeScpiAnalyser::Faults faults;
    faults.dropMidBlock = true;
    varnel::testing::FakeScpiAnalyser fake(faults);
    const std::string source = "scpi://127.0.0.1:" + std::to_string(fake.port());
    const Result watched = runCalc(
        "watch --stage 2 --f0 1000 --qu 3000 --count 3 --json " + source + " 5 10 0.01", "", true);
    EXPECT_EQ(watched.status, 0) << watched.out;
    int lines = 0;
    for (std::size_t at = 0; at < watched.out.size();) {
        const std::size_t end = watched.out.find('\n', at);
        const std::string line = watched.out.substr(at, end - at);
        at = end + 1;
        if (line.starts_with("varnel-calc: ")) { // the loss, on standard error
            EXPECT_NE(line.find("the analyser closed the connection; connecting again"),
                      std::string::npos)
                << line;
            continue;
        }
        const auto j = nlohmann::json::parse(line);
        EXPECT_EQ(j["sweep"], ++lines);
        EXPECT_EQ(j["verdict"], "pass");
    }
    EXPECT_EQ(lines, 3);

    const Result text = runCalc("watch --stage 2 --f0 1000 --qu 3000 --count 1 '" +
                                std::string(VARNEL_TEST_DATA) + "/stage2-mistuned.s2p'");
    EXPECT_EQ(text.status, 3);
    EXPECT_EQ(text.out.rfind("sweep 1: FAIL: Resonator 2 is 0.25 MHz (2.5 % of BW) high: turn it "
                             "down.\n",
                             0),
              0u)
        << text.out;
}

} // namespace
