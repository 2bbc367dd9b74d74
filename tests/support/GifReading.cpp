#include "support/GifReading.h"

#include <gif_lib.h>

#include <cstring>

namespace hv::test {

DecodedGif readGif(const std::string& path) {
    DecodedGif out;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) {
        out.error = GifErrorString(error);
        return out;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        out.error = GifErrorString(gif->Error);
        DGifCloseFile(gif, &error);
        return out;
    }
    out.width = gif->SWidth;
    out.height = gif->SHeight;
    std::vector<uint8_t> screen(size_t(out.width) * size_t(out.height) * 3, 0);

    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        DecodedFrame frame;
        for (int e = 0; e < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& block = image.ExtensionBlocks[e];
            if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0) {
                out.loops = true;
                if (e + 1 < image.ExtensionBlockCount) {
                    const ExtensionBlock& data = image.ExtensionBlocks[e + 1];
                    if (data.ByteCount >= 3) out.loopCount = data.Bytes[1] | data.Bytes[2] << 8;
                }
            }
        }
        GraphicsControlBlock control;
        if (DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK) {
            frame.delay = control.DelayTime;
            frame.transparent = control.TransparentColor;
            frame.disposal = control.DisposalMode;
        }
        frame.left = image.ImageDesc.Left;
        frame.top = image.ImageDesc.Top;
        frame.width = image.ImageDesc.Width;
        frame.height = image.ImageDesc.Height;
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        if (map) {
            for (int c = 0; c < map->ColorCount; ++c) {
                frame.palette.push_back(map->Colors[c].Red);
                frame.palette.push_back(map->Colors[c].Green);
                frame.palette.push_back(map->Colors[c].Blue);
            }
        }
        size_t count = size_t(frame.width) * size_t(frame.height);
        frame.indices.assign(image.RasterBits, image.RasterBits + count);
        for (int y = 0; y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x) {
                uint8_t index = frame.indices[size_t(y) * size_t(frame.width) + size_t(x)];
                if (index == frame.transparent) continue;
                int sx = frame.left + x, sy = frame.top + y;
                if (sx >= out.width || sy >= out.height || size_t(index) * 3 + 2 >= frame.palette.size()) continue;
                std::memcpy(&screen[(size_t(sy) * size_t(out.width) + size_t(sx)) * 3], &frame.palette[size_t(index) * 3], 3);
            }
        }
        frame.composited = screen;
        out.frames.push_back(std::move(frame));
    }
    DGifCloseFile(gif, &error);
    out.ok = true;
    return out;
}

} // namespace hv::test
