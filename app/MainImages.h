// The main window's pictures: the 25 action images (48 x 48) of the menus,
// the popup and the toolbar, and the grid's two state icons (24 x 24),
// drawn by the program itself and kept as true images.
#pragma once

namespace velkor {

class TVQR_ImageList;

// Action images, in this order: new, open, save, settings, exit, load
// exams, refresh exams, select, deselect and invert exams, exam settings,
// load contestants, refresh contestants, select, deselect and invert
// contestants, judge, online judging, details, export, compilers, security,
// delete scores, help, about.
inline constexpr int kMainImageCount = 25;

// Fills Actions (48 x 48) with the action images and States (24 x 24) with
// the state icons: 0 a contestant left out, 1 a contestant taking part.
// Both lists are emptied first.
void LoadMainImages(TVQR_ImageList& Actions, TVQR_ImageList& States);

}  // namespace velkor
