// export.cpp — a card made again as its printed page, a large PNG or an animation.
#include "commands/export.h"

#include "card/frames.h"
#include "commands/card_report.h"
#include "files/animation.h"

namespace mirelune {

const char* ExportExtension(ExportKind kind) {
  switch (kind) {
    case ExportKind::kPrintPdf: return "pdf";
    case ExportKind::kLargePng: return "png";
    case ExportKind::kGif: return "gif";
    case ExportKind::kWebp: return "webp";
  }
  return "";
}

PngText CardFileText(const CardSpec& spec, const nlohmann::ordered_json& report) {
  PngText text = CardPngText(GreetingOf(spec), report);
  text.pixels_per_inch = spec.scale > 1 ? kPrintPpi : 96;
  return text;
}

Result<Bytes> EncodePrintedPage(const Image& card, const PrintLayout& page, const PngText& text, bool as_png) {
  return as_png ? EncodePrintPng(card, page, &text) : EncodePrintPdf(card, page, text.title);
}

Result<Exported> MakeExport(CardSpec spec, const ExportPlan& plan, const CardWatch& watch, Fonts& fonts,
                            FaceDigests& digests) {
  Exported out;
  if (plan.kind == ExportKind::kGif || plan.kind == ExportKind::kWebp) {
    spec.scale = 1;  // the frames are shrunk from the card's own size
    FrameRecorder recorder;
    const Card made = MakeCard(spec, recorder.Watch(watch.stop, watch.progress), fonts);
    if ((out.stopped = made.stopped)) return out;
    out.problems = made.text.problems;
    MIRELUNE_TRY_ASSIGN(out.bytes, EncodeAnimation(recorder.Finish(), plan.kind == ExportKind::kGif
                                                                          ? AnimationFormat::kGif
                                                                          : AnimationFormat::kWebp));
    return out;
  }
  const PrintLayout page = LayOutPrint(plan.paper, plan.crop_marks);
  spec.scale = plan.kind == ExportKind::kPrintPdf ? page.scale : kLargeScale;
  const Card made = MakeCard(spec, watch, fonts);
  if ((out.stopped = made.stopped)) return out;
  out.problems = made.text.problems;
  // The report (it digests the face files) only where a PNG carries it.
  const bool png = plan.kind == ExportKind::kLargePng;
  const PngText text = CardFileText(spec, png ? CardReport(spec, made.seed, made.stats, made.text.faces, digests)
                                              : nlohmann::ordered_json::object());
  if (png) {
    MIRELUNE_TRY_ASSIGN(out.bytes, EncodePng(made.card.image(), &text));
  } else {
    MIRELUNE_TRY_ASSIGN(out.bytes, EncodePrintedPage(made.card.image(), page, text, false));
  }
  return out;
}

}  // namespace mirelune
