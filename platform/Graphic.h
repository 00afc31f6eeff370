// Colours and the graphic base class: change and progress notifications, the
// Transparent and Modified flags, and saving to a file.
#pragma once

#include "platform/Persistent.h"

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

class TStream;

// A colour value 0x00BBGGRR (red in the low byte). 0x80000000 + n names system
// colour n; clNone means no colour.
using TColor = std::uint32_t;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor kSystemColorFlag = 0x80000000;

// Resolves a system colour to its RGB value (a fixed light desktop theme stands
// in for the window system's); every other value comes back unchanged.
TColor ColorToRGB(TColor color);

inline constexpr TColor RGBColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return red | (static_cast<TColor>(green) << 8) | (static_cast<TColor>(blue) << 16);
}

struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
    bool operator==(const TRect&) const = default;
};

enum class TProgressStage : std::uint8_t { psStarting = 0, psRunning = 1, psEnding = 2 };

class TGraphic;
using TNotifyEvent = std::function<void(TGraphic& sender)>;
// A handler may stop the work in progress by throwing EAbort.
using TProgressEvent =
    std::function<void(TGraphic& sender, TProgressStage stage, std::uint8_t percentDone,
                       bool redrawNow, const TRect& rect, const std::string& message)>;

class TBitmap;

class TGraphic : public TPersistent {
public:
    const char* ClassName() const override { return "TGraphic"; }

    bool Empty() const { return GetEmpty(); }
    std::int32_t Width() const { return GetWidth(); }
    std::int32_t Height() const { return GetHeight(); }
    void SetWidth(std::int32_t value) { DoSetWidth(value); }
    void SetHeight(std::int32_t value) { DoSetHeight(value); }
    bool Transparent() const { return GetTransparent(); }
    void SetTransparent(bool value) { DoSetTransparent(value); }

    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }

    const TNotifyEvent& OnChange() const { return onChange_; }
    void SetOnChange(TNotifyEvent handler) { onChange_ = std::move(handler); }
    const TProgressEvent& OnProgress() const { return onProgress_; }
    void SetOnProgress(TProgressEvent handler) { onProgress_ = std::move(handler); }

    // True when other shows the same picture; the base compares identity only.
    virtual bool Equals(const TGraphic& other) const { return &other == this; }

    virtual void SaveToStream(TStream& stream) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;

    // Writes the graphic through SaveToStream into a temporary file beside path
    // and renames it over path only when complete: a failure leaves an earlier
    // file intact and no partial one. "Cannot create file %s" when the file
    // cannot be created.
    virtual void SaveToFile(const std::string& path);
    virtual void LoadFromFile(const std::string& path);

    // Draws the graphic onto canvas with its top-left corner at (x, y). The base
    // draws nothing.
    virtual void Draw(TBitmap& canvas, std::int32_t x, std::int32_t y) const;

    // Marks the graphic modified and calls the OnChange handler.
    virtual void Changed();
    // Calls the OnProgress handler, when one is set.
    void Progress(TGraphic& sender, TProgressStage stage, std::uint8_t percentDone, bool redrawNow,
                  const TRect& rect, const std::string& message);

protected:
    virtual bool GetEmpty() const = 0;
    virtual std::int32_t GetWidth() const = 0;
    virtual std::int32_t GetHeight() const = 0;
    virtual void DoSetWidth(std::int32_t value) = 0;
    virtual void DoSetHeight(std::int32_t value) = 0;
    virtual bool GetTransparent() const { return transparent_; }
    virtual void DoSetTransparent(bool value);

    // The base's own flag, as set by SetTransparent; the setter here notifies nobody.
    bool TransparentFlag() const { return transparent_; }
    void SetTransparentFlag(bool value) { transparent_ = value; }

private:
    bool transparent_ = false;
    bool modified_ = false;
    TNotifyEvent onChange_;
    TProgressEvent onProgress_;
};

} // namespace platform
