#pragma once

namespace rd420 {

// The skin pictures of the page-setup dialog's nine position buttons,
// normal and pressed, positions 1..9 (rows top to bottom): drawn by
// make_skin, shown by the dialog.
inline constexpr int kPositionPictures[9][2] = {{268, 269}, {264, 265}, {266, 267},
                                                {270, 271}, {261, 263}, {272, 273},
                                                {276, 277}, {274, 275}, {278, 279}};

}  // namespace rd420
