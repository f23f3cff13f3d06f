#include <gtest/gtest.h>

#include <cmath>

#include "SessionLine.h"
#include "SweepPlan.h"

TEST(SessionLine, SplitsAsAShellWouldAndKnowsQuitAndComments) {
    const struct {
        const char* line;
        SessionLineKind kind;
        std::vector<std::string> words;
    } cases[] = {
        {"", SessionLineKind::Ignored, {}},
        {"  \t\r", SessionLineKind::Ignored, {}},
        {"# play --amp1 1", SessionLineKind::Ignored, {}},
        {"  quit\r", SessionLineKind::Quit, {"quit"}},
        {"quit now", SessionLineKind::Command, {"quit", "now"}},
        {"rate 2500 --run\r", SessionLineKind::Command, {"rate", "2500", "--run"}},
        {"play\t--shape1  square ", SessionLineKind::Command, {"play", "--shape1", "square"}},
        // Quotes keep blanks; backslashes stay; "" inside quotes is a quote.
        {"load \"C:\\My waves\\a b.csv\" --units codes",
         SessionLineKind::Command,
         {"load", "C:\\My waves\\a b.csv", "--units", "codes"}},
        {"load C:\\x\\\"y z\"", SessionLineKind::Command, {"load", "C:\\x\\y z"}},
        {"load \"say \"\"hi\"\"\"", SessionLineKind::Command, {"load", "say \"hi\""}},
        {"load \"\"", SessionLineKind::Command, {"load", ""}},
        {"load \"open", SessionLineKind::Bad, {}},
    };
    for (const auto& c : cases) {
        const SessionLine line = ReadSessionLine(c.line);
        EXPECT_EQ(line.kind, c.kind) << c.line;
        EXPECT_EQ(line.words, c.words) << c.line;
        EXPECT_EQ(line.problem.empty(), c.kind != SessionLineKind::Bad) << c.line;
    }
}

TEST(SweepPlan, StepsLinearlyOrOnALogScaleWithTheRatesThatGiveThem) {
    SweepOptions linear;
    linear.from = 100, linear.to = 1000, linear.steps = 4, linear.dwellMs = 20;
    SweepOptions log = linear;
    log.log = true, log.to = 10000, log.steps = 3;
    SweepOptions byStep = linear;
    byStep.steps = 0, byStep.stepGiven = true, byStep.step = 400;  // 100, 500, 900: never past "to"
    SweepOptions down = linear;
    down.down = true, down.repeat = 2;
    SweepOptions falling = byStep;
    falling.from = 1000, falling.to = 100;
    const struct {
        const char* what;
        SweepOptions options;
        int32_t periods;
        std::vector<double> frequencies;
    } cases[] = {
        {"linear", linear, 200, {100, 400, 700, 1000}},
        {"log", log, 200, {100, 1000, 10000}},
        {"by step", byStep, 200, {100, 500, 900}},
        {"down, twice", down, 200, {1000, 700, 400, 100, 1000, 700, 400, 100}},
        {"from above to below", falling, 200, {1000, 600, 200}},
    };
    for (const auto& c : cases) {
        const SweepPlan plan = PlanSweep(c.options, c.periods);
        ASSERT_EQ(plan.problem, "") << c.what;
        ASSERT_EQ(plan.steps.size(), c.frequencies.size()) << c.what;
        for (size_t k = 0; k < plan.steps.size(); ++k) {
            EXPECT_NEAR(plan.steps[k].frequency, c.frequencies[k], 1e-9 * c.frequencies[k])
                << c.what << " " << k;
            // frequency = periods x rate / 1000
            EXPECT_NEAR(plan.steps[k].rate * c.periods / 1000, plan.steps[k].frequency, 1e-9)
                << c.what << " " << k;
        }
    }
}

TEST(SweepPlan, RefusesWhatItCannotPlayBeforeItStarts) {
    SweepOptions base;
    base.from = 100, base.to = 1000, base.steps = 10, base.dwellMs = 20;
    const struct {
        const char* what;
        void (*change)(SweepOptions&);
        int32_t periods;
        const char* named;
    } cases[] = {
        {"a rate above the range", [](SweepOptions& o) { o.to = 25000; }, 499, "step 10, 25000 Hz"},
        {"a rate below it", [](SweepOptions& o) { o.from = 0.001; }, 2, "step 1, 0.001 Hz"},
        {"no frequency", [](SweepOptions& o) { o.from = 0; }, 1, "--from and --to"},
        {"steps and a step", [](SweepOptions& o) { o.stepGiven = true, o.step = 5; }, 1, "either --steps"},
        {"neither", [](SweepOptions& o) { o.steps = 0; }, 1, "either --steps"},
        {"a step with --log",
         [](SweepOptions& o) { o.steps = 0, o.stepGiven = true, o.step = 5, o.log = true; }, 1, "with --log"},
        {"no dwell", [](SweepOptions& o) { o.dwellMs = 0; }, 1, "--dwell"},
        {"too many steps", [](SweepOptions& o) { o.steps = 60000, o.repeat = 2; }, 1, "with the repeats"},
    };
    for (const auto& c : cases) {
        SweepOptions options = base;
        c.change(options);
        const SweepPlan plan = PlanSweep(options, c.periods);
        EXPECT_TRUE(plan.steps.empty()) << c.what;
        EXPECT_NE(plan.problem.find(c.named), std::string::npos) << c.what << ": " << plan.problem;
    }
}
