#include "platform/Graphic.h"

#include "platform/Streams.h"

#include <array>

namespace platform {

TColor ColorToRGB(TColor color) {
    if ((color & kSystemColorFlag) == 0) {
        return color;
    }
    // Colours of a light desktop theme, indexed by system colour number.
    static constexpr std::array<TColor, 31> kSystemColors = {
        RGBColor(200, 200, 200), RGBColor(0, 0, 0),       RGBColor(153, 180, 209),
        RGBColor(191, 205, 219), RGBColor(240, 240, 240), RGBColor(255, 255, 255),
        RGBColor(100, 100, 100), RGBColor(0, 0, 0),       RGBColor(0, 0, 0),
        RGBColor(0, 0, 0),       RGBColor(180, 180, 180), RGBColor(244, 247, 252),
        RGBColor(171, 171, 171), RGBColor(51, 153, 255),  RGBColor(255, 255, 255),
        RGBColor(240, 240, 240), RGBColor(160, 160, 160), RGBColor(109, 109, 109),
        RGBColor(0, 0, 0),       RGBColor(67, 78, 84),    RGBColor(255, 255, 255),
        RGBColor(105, 105, 105), RGBColor(227, 227, 227), RGBColor(0, 0, 0),
        RGBColor(255, 255, 225), RGBColor(0, 0, 0),       RGBColor(0, 102, 204),
        RGBColor(185, 209, 234), RGBColor(215, 228, 242), RGBColor(51, 153, 255),
        RGBColor(240, 240, 240)};
    const TColor index = color & 0xFF;
    return index < kSystemColors.size() ? kSystemColors[index] : clBlack;
}

void TGraphic::SaveToFile(const std::string& path) {
    WriteFileAtomically(path, [this](TStream& stream) { SaveToStream(stream); });
}

void TGraphic::LoadFromFile(const std::string& path) {
    TFileStream stream(path, FileMode::OpenRead);
    LoadFromStream(stream);
}

void TGraphic::Draw(TBitmap& /*canvas*/, std::int32_t /*x*/, std::int32_t /*y*/) const {}

void TGraphic::Changed() {
    modified_ = true;
    if (onChange_) {
        onChange_(*this);
    }
}

void TGraphic::Progress(TGraphic& sender, TProgressStage stage, std::uint8_t percentDone,
                        bool redrawNow, const TRect& rect, const std::string& message) {
    if (onProgress_) {
        onProgress_(sender, stage, percentDone, redrawNow, rect, message);
    }
}

void TGraphic::DoSetTransparent(bool value) {
    if (value != transparent_) {
        transparent_ = value;
        Changed();
    }
}

} // namespace platform
