// The GIF file writer: header, logical screen, global colour table, looping
// block, frames with their extension blocks, image comment, trailer.
#include "gif/GifImage.h"
#include "gif/GifMessages.h"

#include "platform/BmpLayout.h"

#include <algorithm>
#include <cstring>

namespace gif {

namespace {

using platform::TMemoryStream;

void WriteLE16(TMemoryStream& out, std::uint32_t value) {
    std::uint8_t bytes[2];
    platform::PutLE16(bytes, static_cast<std::uint16_t>(value));
    out.WriteBuffer(bytes, sizeof bytes);
}

void WriteColorTable(TMemoryStream& out, const ColorTable& table) {
    const std::int32_t count = std::clamp(table.EntryCount, 0, 256);
    std::uint8_t bytes[256 * 3];
    for (std::int32_t i = 0; i < count; ++i) {
        bytes[3 * i] = table.Entries[i].Red;
        bytes[3 * i + 1] = table.Entries[i].Green;
        bytes[3 * i + 2] = table.Entries[i].Blue;
    }
    out.WriteBuffer(bytes, static_cast<std::size_t>(count) * 3);
}

// Each text as one sub-block of at most 255 bytes (longer texts are cut, empty
// ones write nothing), then the block terminator.
void WriteSubBlockTexts(TMemoryStream& out, const platform::TStringList* texts) {
    if (texts != nullptr) {
        for (const std::string& text : *texts) {
            const std::size_t n = std::min<std::size_t>(text.size(), 255);
            if (n > 0) {
                out.WriteByte(static_cast<std::uint8_t>(n));
                out.WriteBuffer(text.data(), n);
            }
        }
    }
    out.WriteByte(0);
}

void WriteExtensionList(TMemoryStream& out, const TExtensionList& list) {
    for (const auto& extension : list) {
        if (!extension) {
            continue;
        }
        out.WriteByte(0x21);
        switch (extension->BlockKind) {
        case ekGraphicControl:
            out.WriteByte(0xF9);
            out.WriteBuffer(extension->FixedBlock.data(), 6);
            break;
        case ekPlainText:
            out.WriteByte(0x01);
            out.WriteBuffer(extension->FixedBlock.data(), 13);
            WriteSubBlockTexts(out, extension->SubBlockTexts.get());
            break;
        case ekApplication:
            out.WriteByte(0xFF);
            out.WriteBuffer(extension->FixedBlock.data(), 12);
            WriteSubBlockTexts(out, extension->SubBlockTexts.get());
            break;
        case ekComment:
            out.WriteByte(0xFE);
            WriteSubBlockTexts(out, extension->SubBlockTexts.get());
            break;
        }
    }
}

} // namespace

void TGIFImage::WriteGifStream(platform::TStream& destination, bool sizePrefix) {
    if (FrameList.empty()) {
        RaiseGifError(SGIFNoData);
    }
    EncodePendingFrames();

    TMemoryStream out;
    std::size_t estimate = 6 + 7 + 768 + 19 + 1;
    for (const auto& frame : FrameList) {
        const auto& data = frame->SharedItem->CompressedData;
        estimate += 64 + 10 + 768 + (data ? data->ByteSize() : 0);
    }
    out.Reserve(estimate);

    const TGIFData& data = *SharedData;
    if (!data.CommentLines.Empty()) {
        FormatVersion = 2;
    }
    static constexpr const char* kVersions[] = {"", "87a", "89a"};
    out.WriteBuffer("GIF", 3);
    if (FormatVersion < 3) {
        out.WriteBuffer(kVersions[FormatVersion], std::strlen(kVersions[FormatVersion]));
    }

    // Logical screen descriptor.
    FitScreenToFrames();
    const ColorTable& global = data.GlobalColorTable;
    std::uint8_t packed = 0;
    std::uint8_t background = 0;
    if (global.EntryCount > 0) {
        const int sizeBits = BitsForColorCount(global.EntryCount);
        if (ScreenBackColor != clNone) {
            background =
                static_cast<std::uint8_t>(std::max(IndexOfColor(global, ScreenBackColor), 0));
        }
        packed = static_cast<std::uint8_t>(0x80 | ((sizeBits - 1) << 4) |
                                           ((data.GlobalBitDepth - 1) & 0x07));
    }
    WriteLE16(out, screenWidth_);
    WriteLE16(out, screenHeight_);
    out.WriteByte(packed);
    out.WriteByte(background);
    out.WriteByte(data.PixelAspect);
    WriteColorTable(out, global);

    if (LoopEnabled && FrameList.size() > 1) {
        static constexpr std::uint8_t kLoopHeader[] = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S',
                                                       'C',  'A',  'P',  'E', '2', '.', '0'};
        out.WriteBuffer(kLoopHeader, sizeof kLoopHeader);
        platform::TStringList loop;
        loop.Add(std::string{'\x01', static_cast<char>(LoopCount & 0xFF),
                             static_cast<char>(LoopCount >> 8)});
        WriteSubBlockTexts(out, &loop);
    }

    for (const auto& frame : FrameList) {
        if (frame->ExtensionList) {
            WriteExtensionList(out, *frame->ExtensionList);
        }
        out.WriteByte(0x2C);
        TGIFItem& item = *frame->SharedItem;
        if (frame->HasLocalColorTable) {
            item.BitDepth = 1;
            while (item.BitDepth < 8 && (1 << item.BitDepth) < item.FrameColorTable.EntryCount) {
                ++item.BitDepth;
            }
        }
        WriteLE16(out, static_cast<std::uint32_t>(frame->ImageLeft));
        WriteLE16(out, static_cast<std::uint32_t>(frame->ImageTop));
        WriteLE16(out, static_cast<std::uint32_t>(item.PixelWidth));
        WriteLE16(out, static_cast<std::uint32_t>(item.PixelHeight));
        std::uint8_t flags = 0;
        if (frame->HasLocalColorTable) {
            flags = static_cast<std::uint8_t>(0x80 | ((item.BitDepth - 1) & 0x07));
        }
        if (frame->RowsInterlaced) {
            flags |= 0x40;
        }
        out.WriteByte(flags);
        if (frame->HasLocalColorTable) {
            WriteColorTable(out, item.FrameColorTable);
        }
        if (item.CompressedData) {
            out.WriteBuffer(item.CompressedData->Memory(), item.CompressedData->ByteSize());
        }
    }

    if (!data.CommentLines.Empty()) {
        out.WriteByte(0x21);
        out.WriteByte(0xFE);
        WriteSubBlockTexts(out, &data.CommentLines);
    }
    out.WriteByte(0x3B);

    if (sizePrefix) {
        std::uint8_t length[4];
        platform::PutLE32(length, static_cast<std::uint32_t>(out.ByteSize()));
        destination.WriteBuffer(length, sizeof length);
    }
    destination.WriteBuffer(out.Memory(), out.ByteSize());
}

} // namespace gif
