#pragma once
// Options record handed to the Newton approximation of a NURBS surface or
// curve by callers that run it under the user interface. Non-interactive
// callers pass no record.
//
// Ownership: the record only borrows its notification object.
// Thread-safety: as that of the notification object.

#include "platform/FitNotification.h"

namespace Fenwo {

struct FitOptions {
    // Told about every improving iteration and about the end of the fit;
    // its cancel flag stops the fit. Null: nobody is notified.
    Platform::FitNotification* notification = nullptr;
};

} // namespace Fenwo
