#include "help/HoverDecision.h"

HoverStep DecideHover(const HoverTrack& track, const HoverFacts& facts) {
    HoverStep step;
    step.track = track;
    if (!facts.overPanel || facts.hit == nullptr) {
        // Leaving the control forgets it, but a balloon that is up stays up.
        step.track.lastControlId = 0;
        return step;
    }
    if (facts.hit->controlId != track.lastControlId) {
        step.action = HoverAction::CloseBalloon;
        step.track.lastControlId = facts.hit->controlId;
        step.track.shown = false;
        return step;
    }
    if (!track.shown && !facts.openComboBox) {
        step.action = HoverAction::ShowBalloon;
        step.text = facts.hit->helpText;
        step.track.shown = true;
    }
    return step;
}
