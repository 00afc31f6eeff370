// The GIF image model and the import of bitmaps into it.
#include "gif/GifImage.h"

#include "gif/GifMessages.h"
#include "gif/ReduceBitmap.h"
#include "platform/BmpLayout.h"
#include "platform/Exceptions.h"

#include <algorithm>

namespace gif {

using platform::TBitmap;
using platform::TGraphic;
using platform::TPersistent;
using platform::TPixelFormat;

// ---------------------------------------------------------------------------
// Extensions

void TExtension::Assign(const TPersistent* source) {
    if (const auto* other = dynamic_cast<const TExtension*>(source)) {
        if (other == this) {
            return;
        }
        BlockKind = other->BlockKind;
        FixedBlock = other->FixedBlock;
        if (other->SubBlockTexts) {
            if (!SubBlockTexts) {
                SubBlockTexts = std::make_unique<platform::TStringList>();
            }
            SubBlockTexts->Assign(*other->SubBlockTexts);
        }
        return;
    }
    TPersistent::Assign(source);
}

TExtension* FindLastExtension(const TExtensionList* list, TExtensionKind kind) {
    if (list == nullptr) {
        return nullptr;
    }
    for (auto it = list->rbegin(); it != list->rend(); ++it) {
        if (*it && (*it)->BlockKind == kind) {
            return it->get();
        }
    }
    return nullptr;
}

void FreeExtensionList(std::unique_ptr<TExtensionList>& list) {
    if (list) {
        while (!list->empty()) {
            list->erase(list->begin());
        }
        list.reset();
    }
}

// ---------------------------------------------------------------------------
// Frames

TGIFFrame::TGIFFrame(TGIFImage* owner) : OwnerImage(owner) {
    ResetFrame();
}

TGIFFrame::~TGIFFrame() {
    SourceBitmap.reset();
    FreeExtensionList(ExtensionList);
}

void TGIFFrame::ResetFrame() {
    SharedItem.Reset(new TGIFItem);
    ForceGrayscale = false;
    DataDamaged = false;
    TransparencyColor = clNone;
    ImageLeft = 0;
    ImageTop = 0;
    RowsInterlaced = false;
    HasLocalColorTable = false;
    DelayMs = 0;
    DisposalCode = 0;
}

void TGIFFrame::RecreateBitmap() {
    SourceBitmap.reset();
    SourceBitmap = std::make_unique<TBitmap>();
}

TBitmap& TGIFFrame::AcquireBitmap() {
    if (SourceBitmap && !SourceBitmap->Empty()) {
        return *SourceBitmap;
    }
    RecreateBitmap();
    if (!SharedItem->CompressedData) {
        return *SourceBitmap;
    }
    throw platform::EInvalidGraphicOperation("Decoding GIF image data is not supported");
}

// A frame that only holds compressed data has the size it was encoded with;
// that is what decoding it would give.
std::int32_t TGIFFrame::FrameWidth() const {
    if (SourceBitmap && !SourceBitmap->Empty()) {
        return SourceBitmap->Width();
    }
    return SharedItem->CompressedData ? SharedItem->PixelWidth : 0;
}

std::int32_t TGIFFrame::FrameHeight() const {
    if (SourceBitmap && !SourceBitmap->Empty()) {
        return SourceBitmap->Height();
    }
    return SharedItem->CompressedData ? SharedItem->PixelHeight : 0;
}

void TGIFFrame::Assign(const TPersistent* source) {
    if (source == nullptr) {
        AssignGraphic(nullptr);
    } else if (const auto* frame = dynamic_cast<const TGIFFrame*>(source)) {
        AssignFrame(*frame);
    } else if (const auto* image = dynamic_cast<const TGIFImage*>(source)) {
        if (image->FrameList.empty()) {
            AssignGraphic(nullptr);
        } else {
            const std::int32_t index = std::max(image->ActiveFrameIndex, 0);
            AssignFrame(image->FrameAt(index));
        }
    } else if (const auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        AssignGraphic(graphic);
    } else {
        TPersistent::Assign(source);
    }
}

void TGIFFrame::AssignGraphic(const TGraphic* graphic) {
    if (graphic == nullptr || graphic->Empty()) {
        ResetFrame();
        SourceBitmap.reset();
    } else {
        ResetFrame();
        RecreateBitmap();
        const auto* bitmap = dynamic_cast<const TBitmap*>(graphic);
        try {
            SourceBitmap->Assign(graphic);
            if (bitmap != nullptr) {
                SourceBitmap->SetMonochrome(bitmap->Monochrome());
            }
        } catch (const std::exception&) {
            // A graphic that cannot become a bitmap is drawn onto one instead.
            RecreateBitmap();
            SourceBitmap->SetBrushColor(platform::clFuchsia);
            SourceBitmap->SetSize(graphic->Width(), graphic->Height());
            graphic->Draw(*SourceBitmap, 0, 0);
        }
        if (graphic->Transparent()) {
            // Any other graphic shows its background, the brush colour, transparent.
            TransparencyColor = bitmap != nullptr
                                    ? bitmap->TransparentColor()
                                    : platform::ColorToRGB(SourceBitmap->BrushColor());
        }
    }
    if (OwnerImage != nullptr) {
        OwnerImage->FitScreenToFrames();
    }
}

void TGIFFrame::AssignFrame(const TGIFFrame& source) {
    if (&source == this) {
        return;
    }
    SharedItem = source.SharedItem;
    ImageLeft = source.ImageLeft;
    ImageTop = source.ImageTop;
    RowsInterlaced = source.RowsInterlaced;
    DataDamaged = source.DataDamaged;
    ForceGrayscale = source.ForceGrayscale;
    TransparencyColor = source.TransparencyColor;
    DelayMs = source.DelayMs;
    DisposalCode = source.DisposalCode;
    HasLocalColorTable = source.HasLocalColorTable;
    if (source.SourceBitmap) {
        RecreateBitmap();
        SourceBitmap->Assign(source.SourceBitmap.get());
    } else {
        SourceBitmap.reset();
    }
    FreeExtensionList(ExtensionList);
    if (source.ExtensionList) {
        ExtensionList = std::make_unique<TExtensionList>();
        for (const auto& extension : *source.ExtensionList) {
            if (extension) {
                auto copy = std::make_unique<TExtension>();
                copy->Assign(extension.get());
                ExtensionList->push_back(std::move(copy));
            }
        }
    }
    if (OwnerImage != nullptr) {
        OwnerImage->FitScreenToFrames();
    }
}

void TGIFFrame::SyncControlExtension() {
    TExtension* block = FindLastExtension(ExtensionList.get(), ekGraphicControl);
    if (block == nullptr && (DelayMs > 0 || TransparencyColor != clNone || DisposalCode != 0)) {
        auto created = std::make_unique<TExtension>();
        created->BlockKind = ekGraphicControl;
        created->FixedBlock[0] = 4; // block size; packed fields, delay, index 0
        created->FixedBlock[5] = 0; // terminator
        block = created.get();
        if (!ExtensionList) {
            ExtensionList = std::make_unique<TExtensionList>();
        }
        ExtensionList->push_back(std::move(created));
    }
    if (block != nullptr) {
        std::uint8_t& packed = block->FixedBlock[1];
        platform::PutLE16(&block->FixedBlock[2], static_cast<std::uint16_t>(DelayMs / 10));
        const std::int32_t index = IndexOfColor(SharedItem->FrameColorTable, TransparencyColor);
        if (index >= 0) {
            block->FixedBlock[4] = static_cast<std::uint8_t>(index);
            packed |= 0x01;
        } else {
            packed &= static_cast<std::uint8_t>(~0x01);
        }
        packed = static_cast<std::uint8_t>((packed & 0xE3) | ((DisposalCode * 4) & 0xFF));
    }
    if (ExtensionList) {
        for (std::size_t i = ExtensionList->size(); i-- > 0;) {
            const TExtension* e = (*ExtensionList)[i].get();
            if (e != nullptr && e->BlockKind == ekComment &&
                (!e->SubBlockTexts || e->SubBlockTexts->Empty())) {
                ExtensionList->erase(ExtensionList->begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
        if (!ExtensionList->empty() && OwnerImage != nullptr) {
            OwnerImage->FormatVersion = 2;
        }
    }
}

void TGIFFrame::EncodeFromBitmap() {
    if (!SourceBitmap || SourceBitmap->Empty()) {
        RaiseGifError(SGIFNoData);
    }
    std::unique_ptr<platform::TMemoryStream> dib;
    const TPixelFormat format = SourceBitmap->PixelFormat();
    if (format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit ||
        format == TPixelFormat::pf8bit) {
        dib = std::make_unique<platform::TMemoryStream>();
    } else {
        const TReductionMethod method = ForceGrayscale ? rmGrayLevels : DefaultReductionMethod;
        dib = ReduceBitmapToDIB(*SourceBitmap, TPixelFormat::pf8bit, method);
        if (method == rmGrayLevels) {
            ForceGrayscale = true;
        }
    }
    if (dib->ByteSize() == 0) {
        SourceBitmap->WriteBmp(*dib);
    }
    ImportDib(*dib);
}

void TGIFFrame::ImportDib(platform::TMemoryStream& dib) {
    using platform::GetLE16;
    using platform::GetLE32;
    dib.SetPosition(0);
    const std::uint8_t* base = dib.Memory();
    const std::size_t size = dib.ByteSize();
    constexpr std::size_t kPaletteOffset =
        platform::kBmpFileHeaderSize + platform::kBmpInfoHeaderSize;
    if (size < kPaletteOffset) {
        throw platform::EInvalidGraphic("Bitmap image is not valid");
    }
    const int bits = GetLE16(base + 28);
    std::int32_t colors = 0;
    switch (bits) {
    case 1:
        colors = 2;
        break;
    case 4:
        colors = 16;
        break;
    case 8:
        colors = 256;
        break;
    default:
        RaiseGifError(SGIFEncodeError);
    }
    platform::TBitmapInfoHeader header = platform::TBitmapInfoHeader::Read(base + 14);
    const std::uint32_t rowOffset = GetLE32(base + 10);
    // The stream must hold the palette and every row it claims; the import reads
    // the stream's memory directly.
    const std::int64_t rowBytes =
        platform::BmpStride(header.biWidth, bits) * static_cast<std::int64_t>(header.biHeight);
    if (header.biWidth < 0 || header.biHeight < 0 ||
        size < kPaletteOffset + 4 * static_cast<std::size_t>(colors) ||
        static_cast<std::int64_t>(size) < static_cast<std::int64_t>(rowOffset) + rowBytes) {
        throw platform::EInvalidGraphic("Bitmap image is not valid");
    }

    RowsInterlaced = false;
    TGIFItem& item = *SharedItem;
    ColorTableFromQuads(item.FrameColorTable, base + kPaletteOffset, colors);
    if (!item.CompressedData) {
        item.CompressedData = std::make_unique<platform::TMemoryStream>();
    } else {
        item.CompressedData->SetSize(0);
    }
    TLzwProgress progress;
    if (OwnerImage != nullptr && OwnerImage->OnProgress()) {
        TGIFImage* owner = OwnerImage;
        progress = [owner](TProgressStage stage, std::uint8_t percent, const std::string& text) {
            RelayProgress(owner, stage, percent, text);
        };
    }
    try {
        LzwEncodeBits(*item.CompressedData, header, RowsInterlaced, base + rowOffset, progress);
    } catch (const platform::EAbort&) {
        ResetFrame();
        throw;
    }
    item.BitDepth = 1;
    while ((1 << item.BitDepth) < item.FrameColorTable.EntryCount) {
        ++item.BitDepth;
    }
    if (OwnerImage != nullptr && OwnerImage->SharedData->GlobalColorTable.EntryCount == 0) {
        OwnerImage->SharedData->GlobalColorTable = item.FrameColorTable;
        OwnerImage->SharedData->GlobalBitDepth = item.BitDepth;
        HasLocalColorTable = false;
    } else {
        HasLocalColorTable = true;
    }
    item.PixelWidth = header.biWidth;
    item.PixelHeight = header.biHeight;
    if (OwnerImage != nullptr) {
        OwnerImage->GrowScreen(std::int64_t{item.PixelWidth} + ImageLeft,
                               std::int64_t{item.PixelHeight} + ImageTop);
    }
}

void RelayProgress(TGIFImage* image, TProgressStage stage, std::uint8_t percentDone,
                   const std::string& message) {
    if (image != nullptr) {
        image->Progress(*image, stage, percentDone, false, platform::TRect{}, message);
    }
}

// ---------------------------------------------------------------------------
// Images

TGIFImage::TGIFImage() {
    ResetImage();
    SetTransparentFlag(true);
}

TGIFImage::~TGIFImage() {
    SetOnChange(nullptr);
    SharedData.Reset();
    ReleaseFrames();
}

void TGIFImage::ResetImage() {
    SharedData.Reset(new TGIFData);
    ReleaseFrames();
    ActiveFrameIndex = -1;
    ScreenBackColor = clNone;
    LoopCount = 1;
    LoopEnabled = false;
    FormatVersion = 0;
}

void TGIFImage::ReleaseFrames() {
    while (!FrameList.empty()) {
        FrameList.erase(FrameList.begin());
    }
}

std::int32_t TGIFImage::AppendFrame(const TGraphic* graphic) {
    FrameList.push_back(std::make_unique<TGIFFrame>(this));
    ActiveFrameIndex = FrameCount() - 1;
    FrameList.back()->Assign(graphic);
    if (FormatVersion == 0) {
        FormatVersion = 1;
    }
    if (FrameList.size() > 1) {
        FormatVersion = 2;
    }
    return ActiveFrameIndex;
}

void TGIFImage::Assign(const TPersistent* source) {
    if (source == this) {
        return;
    }
    if (source == nullptr) {
        ResetImage();
        Changed();
    } else if (const auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
        ResetImage();
        AppendFrame(bitmap);
        Changed();
    } else if (const auto* image = dynamic_cast<const TGIFImage*>(source)) {
        ReleaseFrames();
        SharedData = image->SharedData;
        FormatVersion = image->FormatVersion;
        ScreenBackColor = image->ScreenBackColor;
        LoopEnabled = image->LoopEnabled;
        LoopCount = image->LoopCount;
        for (const auto& frame : image->FrameList) {
            FrameList.push_back(std::make_unique<TGIFFrame>(this));
            FrameList.back()->Assign(frame.get());
        }
        ActiveFrameIndex = image->ActiveFrameIndex;
        FitScreenToFrames();
        Changed();
    } else if (const auto* frame = dynamic_cast<const TGIFFrame*>(source)) {
        ResetImage();
        FrameList.push_back(std::make_unique<TGIFFrame>(this));
        FrameList.back()->Assign(frame);
        ActiveFrameIndex = 0;
        FormatVersion = 1;
        if (frame->OwnerImage != nullptr) {
            SharedData->GlobalColorTable = frame->OwnerImage->SharedData->GlobalColorTable;
            SharedData->GlobalBitDepth = frame->OwnerImage->SharedData->GlobalBitDepth;
        }
        FitScreenToFrames();
        Changed();
    } else {
        TGraphic::Assign(source);
    }
}

void TGIFImage::GrowScreen(std::int64_t width, std::int64_t height) {
    const auto clamp32 = [](std::int64_t v) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
    };
    screenWidth_ = static_cast<std::uint16_t>(std::max<std::int32_t>(screenWidth_, clamp32(width)));
    screenHeight_ =
        static_cast<std::uint16_t>(std::max<std::int32_t>(screenHeight_, clamp32(height)));
}

void TGIFImage::FitScreenToFrames() {
    screenWidth_ = 0;
    screenHeight_ = 0;
    for (const auto& frame : FrameList) {
        GrowScreen(std::int64_t{frame->FrameWidth()} + frame->ImageLeft,
                   std::int64_t{frame->FrameHeight()} + frame->ImageTop);
    }
}

void TGIFImage::EncodePendingFrames() {
    const std::size_t count = FrameList.size();
    for (std::size_t i = 0; i < count; ++i) {
        TGIFFrame& frame = *FrameList[i];
        auto& data = frame.SharedItem->CompressedData;
        if (!data || data->ByteSize() == 0) {
            data.reset();
            frame.EncodeFromBitmap();
        }
        frame.SyncControlExtension();
    }
}

bool TGIFImage::GetEmpty() const {
    if (FrameList.empty()) {
        return true;
    }
    const auto index = static_cast<std::size_t>(std::max(ActiveFrameIndex, 0));
    if (index >= FrameList.size()) {
        return true;
    }
    const TGIFFrame& frame = *FrameList[index];
    const auto& data = frame.SharedItem->CompressedData;
    return !frame.SourceBitmap && !(data && data->ByteSize() > 0);
}

std::int32_t TGIFImage::GetWidth() const {
    if (Empty() || ActiveFrameIndex < 0 || ActiveFrameIndex >= FrameCount()) {
        return 0;
    }
    return FrameAt(ActiveFrameIndex).FrameWidth();
}

std::int32_t TGIFImage::GetHeight() const {
    if (Empty() || ActiveFrameIndex < 0 || ActiveFrameIndex >= FrameCount()) {
        return 0;
    }
    return FrameAt(ActiveFrameIndex).FrameHeight();
}

void TGIFImage::DoSetWidth(std::int32_t /*value*/) {
    RaiseGifError(SGIFCannotResize);
}

void TGIFImage::DoSetHeight(std::int32_t /*value*/) {
    RaiseGifError(SGIFCannotResize);
}

bool TGIFImage::GetTransparent() const {
    if (!TransparentFlag()) {
        return false;
    }
    return std::any_of(FrameList.begin(), FrameList.end(),
                       [](const auto& frame) { return frame->TransparencyColor != clNone; });
}

bool TGIFImage::Equals(const TGraphic& other) const {
    const auto* image = dynamic_cast<const TGIFImage*>(&other);
    return image != nullptr && image->SharedData.Get() == SharedData.Get();
}

void TGIFImage::LoadFromStream(platform::TStream& /*stream*/) {
    throw platform::EInvalidGraphicOperation("Reading GIF images is not supported");
}

} // namespace gif
