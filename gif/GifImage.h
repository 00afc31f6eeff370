// The in-memory GIF image: TGIFImage with its frames TGIFFrame, the shared
// records TGIFData (image level) and TGIFItem (frame level), and the extension
// blocks TExtension of a frame.
//
// Writing a bitmap as a GIF file takes two calls: Assign(bitmap), which keeps a
// copy of the bitmap in the image's one frame, and SaveToFile (or SaveToStream),
// which reduces the frame to at most 256 colours, compresses it and writes the
// file. Images and frames assigned from one another share their records by
// reference count; a change through one holder is seen by every holder.
#pragma once

#include "gif/ColorReduction.h"
#include "gif/ColorTable.h"
#include "gif/Lzw.h"
#include "platform/Bitmap.h"
#include "platform/Graphic.h"
#include "platform/SharedImage.h"
#include "platform/Streams.h"
#include "platform/StringList.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gif {

using platform::clNone;
using platform::TColor;

// Image-level data, shared by images assigned from one another.
class TGIFData : public platform::TSharedImage {
public:
    platform::TStringList CommentLines;
    std::uint8_t PixelAspect = 0;
    std::uint8_t GlobalBitDepth = 0;
    std::uint8_t SourceColorResolution = 0; // as read from a file; never written
    ColorTable GlobalColorTable;

protected:
    void FreeHandle() override { CommentLines.Clear(); }
};

// Frame-level data, shared by frames assigned from one another.
class TGIFItem : public platform::TSharedImage {
public:
    // The image data exactly as it follows the image descriptor in a file: LZW
    // minimum code size, data sub-blocks, terminator. Absent until encoded.
    std::unique_ptr<platform::TMemoryStream> CompressedData;
    std::int32_t PixelWidth = 0;
    std::int32_t PixelHeight = 0;
    std::uint8_t DescriptorFlags = 0; // as read from a file; never written
    std::uint8_t BitDepth = 0;        // bits of FrameColorTable, 1..8 once encoded
    ColorTable FrameColorTable;

protected:
    void FreeHandle() override {
        if (CompressedData) {
            CompressedData->SetSize(0);
        }
    }
};

enum TExtensionKind : std::uint8_t {
    ekGraphicControl = 0,
    ekPlainText = 1,
    ekApplication = 2,
    ekComment = 3
};

// One extension block of a frame. FixedBlock holds the block's fixed part as it
// follows the label in a file: a size byte, then the bytes it counts.
class TExtension : public platform::TPersistent {
public:
    const char* ClassName() const override { return "TExtension"; }

    TExtensionKind BlockKind = ekGraphicControl;
    std::unique_ptr<platform::TStringList> SubBlockTexts; // one per data sub-block
    std::array<std::uint8_t, 13> FixedBlock = {};

    // From another extension: its kind, fixed block and (when it has them) lines.
    void Assign(const platform::TPersistent* source) override;
};

using TExtensionList = std::vector<std::unique_ptr<TExtension>>;

// The last entry of kind; null when there is none or the list is absent.
TExtension* FindLastExtension(const TExtensionList* list, TExtensionKind kind);
void FreeExtensionList(std::unique_ptr<TExtensionList>& list);

class TGIFImage;

class TGIFFrame : public platform::TPersistent {
public:
    explicit TGIFFrame(TGIFImage* owner);
    ~TGIFFrame() override;

    const char* ClassName() const override { return "TGIFFrame"; }

    TGIFImage* OwnerImage;                           // not owned; may be null
    std::unique_ptr<platform::TBitmap> SourceBitmap; // the frame's own copy
    platform::TSharedRef<TGIFItem> SharedItem;       // never null
    std::unique_ptr<TExtensionList> ExtensionList;   // null when there are none
    std::int32_t ImageLeft = 0;
    std::int32_t ImageTop = 0;
    bool RowsInterlaced = false;
    bool DataDamaged = false;
    bool ForceGrayscale = false; // reduce with rmGrayLevels
    TColor TransparencyColor = clNone;
    std::uint16_t DelayMs = 0;
    std::uint8_t DisposalCode = 0;
    bool HasLocalColorTable = false;

    // From a graphic: resets the frame and keeps a copy of it as SourceBitmap
    // (an empty graphic or none empties the frame). From another frame or image:
    // shares that frame's data.
    void Assign(const platform::TPersistent* source) override;

    // A fresh TGIFItem and default frame fields; SourceBitmap and ExtensionList stay.
    void ResetFrame();
    void RecreateBitmap();
    // SourceBitmap when it holds a picture; a frame that only has compressed
    // data cannot be decoded back (EInvalidGraphicOperation).
    platform::TBitmap& AcquireBitmap();
    std::int32_t FrameWidth() const;
    std::int32_t FrameHeight() const;
    // Brings the graphic control block up to date with DelayMs, TransparencyColor
    // and DisposalCode (creating it when one of them is set) and drops comment
    // blocks without lines; run before every write.
    void SyncControlExtension();

    // Reduces SourceBitmap to at most 256 colours when it is not indexed and
    // imports the result; message 61098 when there is no picture.
    void EncodeFromBitmap();
    // Takes the colour table and compressed rows from a DIB stream (BMP file
    // layout, 1, 4 or 8 bits per pixel, 40-byte information header, palette of
    // 2^bits entries).
    void ImportDib(platform::TMemoryStream& dib);

private:
    void AssignGraphic(const platform::TGraphic* graphic);
    void AssignFrame(const TGIFFrame& source);
};

class TGIFImage : public platform::TGraphic {
public:
    TGIFImage();
    ~TGIFImage() override;

    const char* ClassName() const override { return "TGIFImage"; }

    platform::TSharedRef<TGIFData> SharedData; // never null
    std::uint8_t FormatVersion = 0;            // 0 undecided, 1 "87a", 2 "89a"
    std::vector<std::unique_ptr<TGIFFrame>> FrameList;
    std::int32_t ActiveFrameIndex = -1;
    TColor ScreenBackColor = clNone;
    bool LoopEnabled = false;
    std::uint16_t LoopCount = 1;

    // A bitmap becomes the image's one frame; another TGIFImage shares its data;
    // a TGIFFrame gives an image of that one frame; none resets the image.
    void Assign(const platform::TPersistent* source) override;
    // Adds a frame holding graphic and returns its index, the new active frame.
    virtual std::int32_t AppendFrame(const platform::TGraphic* graphic);

    std::int32_t FrameCount() const { return static_cast<std::int32_t>(FrameList.size()); }
    TGIFFrame& FrameAt(std::int32_t index) const {
        return *FrameList.at(static_cast<std::size_t>(index));
    }

    void ResetImage();
    void ReleaseFrames();
    // The logical screen covers every frame (low 16 bits of each extent).
    void FitScreenToFrames();
    // Encodes every frame that has no compressed data yet and updates every
    // frame's graphic control block.
    void EncodePendingFrames();

    // 0 while the image is empty, otherwise the stored logical screen size.
    std::uint16_t LogicalScreenWidth() const { return Empty() ? 0 : screenWidth_; }
    std::uint16_t LogicalScreenHeight() const { return Empty() ? 0 : screenHeight_; }

    // True for another TGIFImage with the same TGIFData.
    bool Equals(const platform::TGraphic& other) const override;

    // The GIF file: assembled in memory, handed to stream in one write.
    void SaveToStream(platform::TStream& stream) override { WriteGifStream(stream, false); }
    // Reading GIF files is not supported (EInvalidGraphicOperation).
    void LoadFromStream(platform::TStream& stream) override;
    // The GIF file preceded by its length (32 bits).
    void WriteData(platform::TStream& stream) { WriteGifStream(stream, true); }
    void ReadData(platform::TStream& stream) { LoadFromStream(stream); }
    void WriteGifStream(platform::TStream& destination, bool sizePrefix);

protected:
    bool GetEmpty() const override;
    std::int32_t GetWidth() const override;
    std::int32_t GetHeight() const override;
    // The size of a GIF image follows its frames: both fail with message 61099.
    void DoSetWidth(std::int32_t value) override;
    void DoSetHeight(std::int32_t value) override;
    bool GetTransparent() const override;

private:
    friend class TGIFFrame;
    void GrowScreen(std::int64_t width, std::int64_t height);

    std::uint16_t screenWidth_ = 0;
    std::uint16_t screenHeight_ = 0;
};

// Forwards an encoder report to image's progress notification (sender image,
// redraw-now false, empty rectangle); a handler may throw EAbort to stop.
void RelayProgress(TGIFImage* image, TProgressStage stage, std::uint8_t percentDone,
                   const std::string& message);

} // namespace gif
