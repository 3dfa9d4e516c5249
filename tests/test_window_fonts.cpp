#include "calculator_window/window_fonts.h"
#include "table_test.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QString>

using varnel::installedFamily;
using varnel::testing::PrintTo;

namespace {

struct FamilyRow {
    const char *name;
    const char *requested;
    const char *expected;
};

// On Debian with the project's packages: the Windows families give their
// stand-ins, installed families and unknown ones give themselves.
const FamilyRow familyRows[] = {
    {"song_ti", "宋体", "AR PL UMing CN"},
    {"arial", "Arial", "Liberation Sans"},
    {"arial_any_case", "arial", "Liberation Sans"},
    {"installed_family", "Liberation Sans", "Liberation Sans"},
    {"unknown_family", "No Such Family 7", "No Such Family 7"},
};

class InstalledFamilyTest : public ::testing::TestWithParam<FamilyRow> {};

TEST_P(InstalledFamilyTest, GivesTheFamilyDrawn) {
    const FamilyRow &row = GetParam();
    EXPECT_EQ(installedFamily(QString::fromUtf8(row.requested)), QString::fromUtf8(row.expected));
}

INSTANTIATE_TEST_SUITE_P(Families, InstalledFamilyTest, ::testing::ValuesIn(familyRows),
                         varnel::testing::RowName{});

// The stand-in is what Qt itself would have drawn the Windows family with.
TEST(InstalledFamily, AgreesWithQtsOwnSubstitution) {
    varnel::applyWindowFonts();
    for (const char *family : {"宋体", "Arial"}) {
        const QString requested = QString::fromUtf8(family);
        EXPECT_EQ(installedFamily(requested), QFontInfo(QFont(requested)).family()) << family;
    }
}

} // namespace
