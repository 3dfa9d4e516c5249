#include "expect_error.h"
#include "lowpass_prototype/prototype.h"
#include "table_test.h"

#include <cmath>
#include <functional>
#include <variant>

using namespace varnel;
using varnel::testing::errorOf;
using varnel::testing::kDivisionByZero;
using varnel::testing::kOverflow;

namespace {

using varnel::testing::PrintTo;

// Either an exact double result or a run-time error number.
struct Expect {
    std::variant<double, int> outcome;
    static Expect value(double v) { return {v}; }
    static Expect error(int number) { return {number}; }
};

struct PrototypeCase {
    const char *name;
    std::function<Result<double>()> call;
    Expect expect;
};

const PrototypeCase prototypeCases[] = {
    // The header's worked examples and the edge cases around them.
    {"sinh_of_zero", [] { return varnel::sinh(0.0); }, Expect::value(0.0)},
    {"cosh_of_zero", [] { return varnel::cosh(0.0); }, Expect::value(1.0)},
    {"tanh_of_zero", [] { return varnel::tanh(0.0); }, Expect::value(0.0)},
    {"coth_of_zero", [] { return varnel::coth(0.0); }, Expect::error(kDivisionByZero)},
    // Two exponentials lose precision for small x; a library sinh would not.
    {"sinh_small_loses_precision", [] { return varnel::sinh(1e-10); },
     Expect::value(1.000000082740371e-10)},
    {"sinh_below_half_ulp_is_zero", [] { return varnel::sinh(1e-17); }, Expect::value(0.0)},
    {"sinh_at_2_pow_minus_54_is_zero", [] { return varnel::sinh(0x1p-54); }, Expect::value(0.0)},
    {"coth_at_2_pow_minus_54", [] { return varnel::coth(0x1p-54); },
     Expect::error(kDivisionByZero)},
    {"coth_of_negative_tiny", [] { return varnel::coth(-1e-17); }, Expect::error(kDivisionByZero)},
    {"sinh_710_overflows", [] { return varnel::sinh(710.0); }, Expect::error(kOverflow)},
    {"sinh_minus_710_overflows", [] { return varnel::sinh(-710.0); }, Expect::error(kOverflow)},
    {"cosh_minus_710_overflows", [] { return varnel::cosh(-710.0); }, Expect::error(kOverflow)},
    {"tanh_710_overflows", [] { return varnel::tanh(710.0); }, Expect::error(kOverflow)},

    // ak uses pi = 3.141596.
    {"ak_1_5", [] { return ak(1, 5); }, Expect::value(0.3090173126374534)},
    {"ak_1_3", [] { return ak(1, 3); }, Expect::value(0.5000004830126307)},
    {"ak_1_1", [] { return ak(1, 1); }, Expect::value(0.9999999999986002)},
    {"ak_1_0", [] { return ak(1, 0); }, Expect::error(kDivisionByZero)},
    {"ak_16384_overflows_doubling", [] { return ak(16384, 5); }, Expect::error(kOverflow)},
    {"ak_minus_16384_overflows_minus_one", [] { return ak(-16384, 5); }, Expect::error(kOverflow)},
    {"ak_1_minus_5_changes_sign", [] { return ak(1, -5); }, Expect::value(-0.3090173126374534)},

    {"beta_0_01", [] { return beta(0.01); }, Expect::value(7.459914876719903)},
    {"beta_0_1", [] { return beta(0.1); }, Expect::value(5.157340721045692)},
    {"beta_negative_is_one", [] { return beta(-0.01); }, Expect::value(1.0)},
    {"beta_0", [] { return beta(0.0); }, Expect::error(kDivisionByZero)},
    {"beta_1e_16", [] { return beta(1e-16); }, Expect::error(kDivisionByZero)},
    {"beta_9_6e_16", [] { return beta(9.6e-16); }, Expect::error(kDivisionByZero)},
    {"beta_400_is_zero", [] { return beta(400.0); }, Expect::value(0.0)},
    {"beta_13000", [] { return beta(13000.0); }, Expect::error(kOverflow)},
    {"beta_minus_13000", [] { return beta(-13000.0); }, Expect::error(kOverflow)},
    {"beta_12000_is_zero", [] { return beta(12000.0); }, Expect::value(0.0)},

    {"gamma_0_01_5", [] { return varnel::gamma(0.01, 5); }, Expect::value(0.8171335707018278)},
    {"gamma_400_5_is_zero", [] { return varnel::gamma(400.0, 5); }, Expect::value(0.0)},
    {"gamma_320_5_is_zero", [] { return varnel::gamma(320.0, 5); }, Expect::value(0.0)},
    {"gamma_norder_0", [] { return varnel::gamma(0.01, 0); }, Expect::error(kDivisionByZero)},
    // beta = 0 and norder = 0: 0 / 0 is an invalid operation, hence Overflow.
    {"gamma_zero_over_zero", [] { return varnel::gamma(400.0, 0); }, Expect::error(kOverflow)},
};

class PrototypeTest : public ::testing::TestWithParam<PrototypeCase> {};

TEST_P(PrototypeTest, GivesExactValueOrError) {
    const auto &param = GetParam();
    if (const double *expected = std::get_if<double>(&param.expect.outcome)) {
        const Result<double> got = param.call();
        ASSERT_EQ(errorOf(got), std::nullopt);
        EXPECT_EQ(*got, *expected);
    } else {
        EXPECT_EQ(errorOf(param.call()), std::get<int>(param.expect.outcome));
    }
}

INSTANTIATE_TEST_SUITE_P(Functions, PrototypeTest, ::testing::ValuesIn(prototypeCases),
                         varnel::testing::RowName());

// Around 311 dB gamma(Lar, 5) becomes exactly 0: from there on every ripple
// gives 0, below it none does.
TEST(PrototypeThresholds, GammaOfOrderFiveVanishesFromAbout311dB) {
    EXPECT_GT(*varnel::gamma(300.0, 5), 0.0);
    for (double lar = 312.0; lar < 1000.0; lar += 7.0)
        EXPECT_EQ(*varnel::gamma(lar, 5), 0.0) << lar;
}

TEST(PrototypeThresholds, ExponentialOverflowsJustAbove709_78) {
    EXPECT_TRUE(platformExp(709.78));
    EXPECT_EQ(errorOf(platformExp(709.79)), kOverflow);
    EXPECT_EQ(*platformExp(-800.0), 0.0);
    EXPECT_TRUE(varnel::sinh(709.5));
    EXPECT_TRUE(ak(16383, 5));
}

TEST(PrototypeThresholds, BetaFailsOnlyUpToAbout9_64e_16) {
    EXPECT_EQ(errorOf(beta(9.6e-16)), kDivisionByZero);
    EXPECT_GT(*beta(1e-15), 30.0);
}

} // namespace
