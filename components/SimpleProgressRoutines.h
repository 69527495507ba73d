// The seven routines that drive the one progress window (SimpleProgress.h),
// in a header of their own that pulls in nothing else: the application's
// adapter to the judging core's progress hooks includes it beside the
// judging headers.
#pragma once

#include <string>

namespace velkor::SimpleProgress {

// All on the GUI thread. Every routine but ProgressCreate and ProgressFree
// does nothing while no window exists.
void ProgressCreate();
void ProgressFree();
void ProgressSetValues(int AMin, int AMax, int APos);
void ProgressSetPos(int APos);
void ProgressSetCaption(const std::string& Cap);
void ProgressSetSubCaption(const std::string& Cap);
void ProgressShow(bool Flag);

}  // namespace velkor::SimpleProgress
