// animation.h — a card painting itself (card/frames.h) as an animated file.
//
//   std::optional<AnimationFormat> f = AnimationFormatOfName("card.gif");
//   Result<Bytes> bytes = EncodeAnimation(animation, *f);
//   if (!bytes) fail(bytes.error().message);   // the library's reason; never exits
//
// Every format loops forever and ends on the finished card, held. Where a viewer
// shows only one picture, it shows the card: a GIF opens on it, an APNG's default
// image is it; a WebP viewer plays the animation.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>

#include "base/result.h"
#include "card/frames.h"
#include "raster/surface.h"

namespace mirelune {

enum class AnimationFormat { kGif, kWebp, kApng };

// .gif, .webp or .png (APNG), in any case; nothing for any other name.
std::optional<AnimationFormat> AnimationFormatOfName(const std::filesystem::path& path);

// GIF89a: the finished card first, then the painting and the hold. Each frame
// only where it differs from the one before (the rest transparent), in at most
// 255 colours that giflib's quantiser chose for those pixels. That quantiser
// keeps what it sorts by in a variable of its own, so two GIFs quantised at once
// in one process sort by each other's axis: whoever encodes GIFs on several
// threads (a batch, the web service) hands every call the same `quantiser`.
Result<Bytes> EncodeGif(const Animation& a, std::mutex* quantiser = nullptr);
// Lossless WebP through libwebp's animation encoder: every frame exact.
Result<Bytes> EncodeAnimatedWebp(const Animation& a);
// PNG whose default image is the finished card, with the painting as APNG frames
// (acTL, fcTL, fdAT), each cut to where it differs from the one before.
Result<Bytes> EncodeApng(const Animation& a);

Result<Bytes> EncodeAnimation(const Animation& a, AnimationFormat format, std::mutex* quantiser = nullptr);

}  // namespace mirelune
