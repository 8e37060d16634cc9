// Where the end-to-end runs click: the centre of each widget in its window's
// coordinates, from the layout files (packing position plus half the size
// request). One table, so that a changed layout is changed here once.
#pragma once

namespace cvx::test {

struct Spot { int x, y; };

namespace spot {
// The configuration-file window and the message box.
constexpr Spot kOpenOk{296 + 31, 192 + 12};
constexpr Spot kMsgBoxOk{160 + 44, 136 + 16};
// The main window.
constexpr Spot kSaveAndExit{440 + 52, 376 + 16};
constexpr Spot kExit{312 + 52, 376 + 16};
constexpr Spot kPreview{424 + 60, 264 + 16};
constexpr Spot kInformation{424 + 60, 312 + 12};
constexpr Spot kRadioOff{392 + 8, 32 + 12};
constexpr Spot kRadioClone{392 + 8, 64 + 12};
constexpr Spot kRadioMulti{392 + 8, 96 + 12};
constexpr Spot kRadioMerged{392 + 8, 128 + 12};
constexpr Spot kInvert{144 + 24, 144 + 20};
// Display and Adjust buttons where the layout puts them: display 1 at the
// left (the single display's place), above or below display 2.
constexpr Spot kResolution1{24 + 48, 96 + 44};
constexpr Spot kAdjust1{24 + 48, 184 + 12};
constexpr Spot kAdjustAbove{120 + 48, 104 + 12};
constexpr Spot kDisplayBelow{120 + 48, 200 + 44};
constexpr Spot kAdjustBelow{120 + 48, 288 + 12};
constexpr Spot kAdjustRight{216 + 48, 184 + 12};
// The display modes dialog.
constexpr Spot kFirstListRow{8 + 60, 56 + 8};
constexpr Spot kRadio8{256 + 8, 40 + 12};
constexpr Spot kRadio16{256 + 8, 64 + 12};
constexpr Spot kRadio24{256 + 8, 88 + 12};
constexpr Spot kRadioPAL{248 + 8, 240 + 12};
constexpr Spot kResolutionsOk{336 + 40, 384 + 12};
// The monitor settings window and its save dialog.
constexpr Spot kWider{216 + 28, 248 + 16};
constexpr Spot kLeft{40 + 20, 208 + 20};
constexpr Spot kAdjustOk{56 + 44, 320 + 12};
constexpr Spot kPrev{208 + 36, 328 + 12};
constexpr Spot kNext{296 + 36, 328 + 12};
constexpr Spot kSaveYes{16 + 40, 136 + 16};
// The preview and information windows.
constexpr Spot kPreviewClose{8 + 240, 464 + 16};
constexpr Spot kInfoOk{72 + 76, 168 + 12};
}  // namespace spot

}  // namespace cvx::test
