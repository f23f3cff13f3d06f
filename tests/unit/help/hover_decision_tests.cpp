#include <gtest/gtest.h>

#include "help/HoverDecision.h"

namespace {
const HelpEntry table[] = {
    {1022, "write help"},
    {1010, "start help"},
    {1012, "periods help"},
    {0, nullptr},
};
const HelpEntry* const writeRow = &table[0];
const HelpEntry* const startRow = &table[1];
const HelpEntry* const periodsRow = &table[2];
const HelpEntry panelRow{0, "panel help"};  // id 0: the panel itself

HoverFacts Over(const HelpEntry* hit, bool openComboBox = false) {
    return {true, hit, openComboBox};
}
const HoverFacts outside{false, nullptr, false};
const HoverFacts emptyPanel{true, nullptr, false};

}  // namespace

TEST(HoverDecision, EveryRowOfTheTransitionTable) {
    using A = HoverAction;
    const struct {
        const char* situation;
        HoverTrack before;
        HoverFacts facts;
        A action;
        const char* text;
        HoverTrack after;
    } cases[] = {
        {"outside the panel, balloon made", {1022, true}, outside, A::Nothing, nullptr, {0, true}},
        {"outside the panel, none made", {1022, false}, outside, A::Nothing, nullptr, {0, false}},
        {"over no listed control, balloon made", {1022, true}, emptyPanel, A::Nothing, nullptr, {0, true}},
        {"over no listed control, none made", {1010, false}, emptyPanel, A::Nothing, nullptr, {0, false}},
        {"not over the panel though a row would match",
         {1022, false},
         {false, writeRow, false},
         A::Nothing,
         nullptr,
         {0, false}},
        {"arrives on a control", {0, false}, Over(writeRow), A::CloseBalloon, nullptr, {1022, false}},
        {"moves to another control after a balloon",
         {1022, true},
         Over(startRow),
         A::CloseBalloon,
         nullptr,
         {1010, false}},
        {"arrives on an open combo box",
         {1022, true},
         Over(periodsRow, true),
         A::CloseBalloon,
         nullptr,
         {1012, false}},
        {"second tick on the same control",
         {1022, false},
         Over(writeRow),
         A::ShowBalloon,
         "write help",
         {1022, true}},
        {"same control, balloon already made",
         {1022, true},
         Over(writeRow),
         A::Nothing,
         nullptr,
         {1022, true}},
        {"same combo box, list open",
         {1012, false},
         Over(periodsRow, true),
         A::Nothing,
         nullptr,
         {1012, false}},
        {"same combo box, list open, balloon made",
         {1012, true},
         Over(periodsRow, true),
         A::Nothing,
         nullptr,
         {1012, true}},
        {"same combo box, list closed",
         {1012, false},
         Over(periodsRow),
         A::ShowBalloon,
         "periods help",
         {1012, true}},
        {"a row for the panel itself counts as seen before",
         {0, false},
         Over(&panelRow),
         A::ShowBalloon,
         "panel help",
         {0, true}},
    };
    for (const auto& c : cases) {
        const HoverStep step = DecideHover(c.before, c.facts);
        EXPECT_EQ(step.action, c.action) << c.situation;
        // No text where nothing is shown: null compares only with null.
        EXPECT_STREQ(step.text, c.text) << c.situation;
        EXPECT_EQ(step.track.lastControlId, c.after.lastControlId) << c.situation;
        EXPECT_EQ(step.track.shown, c.after.shown) << c.situation;
    }
}
