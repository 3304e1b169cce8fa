#include "app/AppDialogs.h"

namespace quor::app {

Beep BeepForKind(int kind) {
    switch (kind) {
        case kKindError:
            return Beep::kHand;
        case kKindInformation:
            return Beep::kAsterisk;
        case kKindConfirmation:
            return Beep::kQuestion;
        default:
            return Beep::kExclamation;
    }
}

Icon IconForKind(int kind) {
    switch (kind) {
        case kKindError:
            return Icon::kError;
        case kKindInformation:
            return Icon::kInformation;
        case kKindConfirmation:
            return Icon::kQuestion;
        case kKindPlain:
            return Icon::kNone;
        default:
            return Icon::kWarning;
    }
}

}  // namespace quor::app
