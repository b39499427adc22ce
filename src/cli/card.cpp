// card.cpp — `card`: the card for two names (or again from a PNG card), and
// `info`: the report a PNG card carries.
#include "card/card.h"
#include "card/frames.h"

#include <cerrno>
#include <ctime>
#include <iostream>
#include <memory>

#include "batch/list.h"
#include "cli/cli.h"
#include "base/i18n.h"
#include "commands/export.h"
#include "files/animation.h"
#include "files/print.h"
#include "mail/mail.h"

namespace mirelune::cli {
namespace {

using Json = nlohmann::ordered_json;

struct CardOptions {
  std::string friend_name, sender, out, plain, report, format, mode = "line", mail_to, message, again;
  std::string wish, print, animate;
  bool crop_marks = false;
  int max_styles = 15, palette = 0, year = ComingYear(std::time(nullptr)), scale = 1, ppi = 0;
  int animate_width = kDefaultAnimationWidth;
  bool force = false;
  CLI::Option *friend_opt = nullptr, *sender_opt = nullptr, *out_opt = nullptr, *plain_opt = nullptr,
              *animate_opt = nullptr;
  CLI::Option* scale_opt = nullptr;
};

std::optional<ImageFormat> FormatOption(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return ParseFormat(text);  // the option's own check has refused anything else
}

// The fields that decide the picture; a card made again from a report must match them.
bool SamePicture(const Json& a, const Json& b) {
  for (const char* key : {"seed", "palette", "styles", "passes", "rule", "offset_mode"})
    if (!a.contains(key) || !b.contains(key) || a[key] != b[key]) return false;
  return true;
}

// Tells on stderr how a card made again differs, or may differ, from the recorded one.
void NoteDifferences(const Json& recorded, const Json& report, const std::string& again) {
  if (!SamePicture(recorded, report)) {
    const Json version = recorded.value("version", Json("?"));
    std::cerr << "mirelune-cli: "
              << Fill(_("note: this card differs from the one in %s, made by version %s"),
                      {TerminalText(again), TerminalText(version.is_string() ? version.get<std::string>() : version.dump())})
              << "\n";
  }
  if (const std::string why = DrawnDifferently(recorded, report); !why.empty())
    std::cerr << "mirelune-cli: " << Fill(_("note: the card in %s may differ from this one: %s"), {TerminalText(again), why})
              << "\n";
}

// The card under its names in the current folder: "Mary-from-Bob.png". A card
// there already is kept unless --force.
Result<std::filesystem::path> SaveUnderNames(const Image& card, const CardSpec& c, ImageFormat f, const PngText& text,
                                             bool force, PixelBuffer& png_rows) {
  const std::filesystem::path path =
      CardFileName(c.friend_name, c.sender, f == ImageFormat::kPng ? "png" : f == ImageFormat::kJpeg ? "jpg" : "bmp");
  MIRELUNE_TRY_ASSIGN(const Bytes bytes, EncodeImage(card, f, &text, png_rows));
  const Result<> w = force ? WriteFileSafely(path, bytes) : WriteNewFile(path, bytes);
  if (!w && w.code == EEXIST)
    return Error{Fill(_("%s is there already; choose another name with --out, or replace it with --force"),
                      {path.string()})};
  if (!w) return Error{w.message};
  return path;
}

// The printed page: a PDF, or a PNG at 300 ppi, by the name's extension (a PDF
// under the names by default, kept unless --force).
Result<std::filesystem::path> SavePrint(const Image& card, const CardSpec& c, const PrintLayout& page,
                                        const std::string& out, const PngText& text, bool force) {
  const std::filesystem::path path = out.empty() ? CardFileName(c.friend_name, c.sender, "pdf") : out;
  const bool png = FormatOfName(path) == NameFormat::kPng;
  MIRELUNE_TRY_ASSIGN(const Bytes bytes, EncodePrintedPage(card, page, text, png));
  const Result<> w = out.empty() && !force ? WriteNewFile(path, bytes) : WriteFileSafely(path, bytes);
  if (!w && w.code == EEXIST)
    return Error{Fill(_("%s is there already; choose another name with --out, or replace it with --force"),
                      {path.string()})};
  if (!w) return Error{w.message};
  return path;
}

Result<int> RunCard(const CardOptions& o, const Mailing& mailing) {
  CardSpec c;
  Json recorded;
  if (!o.again.empty()) {
    MIRELUNE_TRY_ASSIGN(recorded, ReadReport(o.again));
    MIRELUNE_TRY_ASSIGN(c, SpecFromReport(recorded, o.again));
  } else {
    for (const CLI::Option* name : {o.friend_opt, o.sender_opt})
      if (!*name) return Error{Fill(_("%s is required (or --again FILE)"), {name->get_name()})};
    c = {o.friend_name, o.sender, o.year, o.wish, o.max_styles, o.palette,
         o.mode == "pix" ? EffectMode::kPix : EffectMode::kLine, o.scale};
  }
  // A card is saved only for an address that can be sent to: a typo costs no stray card.
  if (!o.mail_to.empty())
    if (const Result<MailAddress> to = ParseMailAddress(o.mail_to); !to)
      return Error{Fill(_("--mail-to: the address %s; nothing was made, saved or sent"), {to.error().message})};
  const std::optional<ImageFormat> format = FormatOption(o.format);
  std::optional<PrintLayout> print;
  if (!o.print.empty()) {
    print = LayOutPrint(ParsePaperSize(o.print).value_or(PaperSize::kA6), o.crop_marks);
    if (!*o.scale_opt) c.scale = std::max(c.scale, print->scale);
    if (*o.out_opt && !IsPrintFileName(o.out))
      return Error{Fill(_("--out %s: a printed card is a .pdf or .png file"), {o.out})};
  }
  std::optional<Target> out, plain;
  if (*o.out_opt && !print) {
    MIRELUNE_TRY_ASSIGN(out, ResolveTarget("--out", o.out, format));
  }
  if (*o.plain_opt) {
    MIRELUNE_TRY_ASSIGN(plain, ResolveTarget("--plain", o.plain, format));
  }
  std::optional<AnimationFormat> animation;
  if (*o.animate_opt && !(animation = AnimationFormatOfName(o.animate)))
    return Error{Fill(_("--animate: \"%s\" is not an animation name; the formats are .gif, .webp and .png (APNG)"),
                      {o.animate})};
  const bool report_to_stdout = o.report == "-";
  const int to_stdout = (out && out->to_stdout) + (plain && plain->to_stdout) + report_to_stdout;
  if (to_stdout > 1) return Error{_("only one of --out, --plain and --report can be \"-\"")};

  if (!o.mail_to.empty() && !mailing.mail_card) return mailing.hand_over();

  if (const Result<> faces = PrepareFaces(FontFolder()); !faces) {
    std::cerr << "mirelune-cli: " << faces.message << "\n";
    return 1;
  }
  // The card alone, as MakeCard returns it: a session's copies for the window
  // would cost a card process more rasters than the card itself.
  Fonts fonts(FontFolder());
  FaceDigests digests;
  FrameRecorder recorder({.width = o.animate_width});
  Card made = MakeCard(c, animation ? recorder.Watch() : CardWatch{}, fonts);
  const Greeting names{c.friend_name, c.sender, c.year, c.wish};
  for (const std::string& why : made.text.problems) std::cerr << "mirelune-cli: " << why << "\n";
  // The report digests every face file the card used; only a PNG or JPEG carries
  // it, and only --report and --again read it.
  const auto carries_report = [](const std::optional<Target>& t) { return t && t->format != ImageFormat::kBmp; };
  const bool png = carries_report(out) || carries_report(plain) || (!out && format && *format != ImageFormat::kBmp);
  const Json report = png || !o.again.empty() || !o.report.empty() ? CardReport(c, made.seed, made.stats, made.text.faces, digests) : Json::object();
  if (!o.again.empty()) NoteDifferences(recorded, report, o.again);

  const bool paths_on_stderr = to_stdout > 0;
  // The canvas the card was painted on is done with: its pages, made already,
  // take the PNG's rows.
  PixelBuffer spare = std::move(made.carry.canvas).TakePixels();
  int status = 0;
  PngText card_text = CardFileText(c, report);
  if (o.ppi) card_text.pixels_per_inch = o.ppi;
  if (print) {
    const Result<std::filesystem::path> saved = SavePrint(made.card.image(), c, *print, o.out, card_text, o.force);
    if (!saved) {
      std::cerr << "mirelune-cli: " << saved.error().message << "\n";
      status = 1;
    } else {
      Announce(saved->string(), paths_on_stderr);
    }
  } else if (out) {
    if (!WritePicture(made.card.image(), *out, card_text, paths_on_stderr, &spare)) status = 1;
  } else if (o.mail_to.empty() && !animation) {  // a mailed card is kept as the mail's copy, below
    const Result<std::filesystem::path> saved =
        SaveUnderNames(made.card.image(), c, format.value_or(ImageFormat::kPng), card_text, o.force, spare);
    if (!saved) {
      std::cerr << "mirelune-cli: " << saved.error().message << "\n";
      status = 1;
    } else {
      Announce(saved->string(), paths_on_stderr);
    }
  }
  if (animation) {
    const Result<Bytes> bytes = EncodeAnimation(recorder.Finish(), *animation);
    const Result<> w = bytes ? WriteFileSafely(o.animate, *bytes) : Result<>(bytes.error());
    if (w) {
      Announce(o.animate, paths_on_stderr);
    } else {
      std::cerr << "mirelune-cli: " << w.message << "\n";
      status = 1;
    }
  }
  if (plain &&
      !WritePicture(made.plain_picture, *plain, ReportPngText(names, report, "picture, before the effect,"), paths_on_stderr,
                    &spare))
    status = 1;
  if (!o.mail_to.empty()) {
    Session s;  // the mail's copy is saved as the window saves the card it shows
    s.card = std::move(made.card);
    s.names = names;
    const Result<std::filesystem::path> saved = SaveCardForMail(s, LocalTimeNow());
    const Result<> sent = saved ? mailing.mail_card(*saved, o.mail_to, o.message) : Result<>(saved.error());
    std::cerr << (sent ? "" : "mirelune-cli: ") << sent.message << "\n";
    if (!sent) status = 1;
  }
  if (!o.report.empty()) {
    const std::string text = ReportText(report) + "\n";
    if (report_to_stdout) {
      Say(text);
    } else {
      const Result<> w = WriteFileSafely(o.report, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
      if (!w) {
        std::cerr << "mirelune-cli: " << w.message << "\n";
        status = 1;
      } else {
        Announce(o.report, paths_on_stderr);
      }
    }
  }
  return status;
}

}  // namespace

Action SetUpCard(CLI::App& sub, const Mailing& mailing) {
  auto o = std::make_shared<CardOptions>();
  o->friend_opt = sub.add_option("--friend", o->friend_name, _("The friend's name, at most 100 characters."))
                      ->type_name("NAME")
                      ->check(GreetingName());
  o->sender_opt = sub.add_option("--sender", o->sender, _("Your own name, at most 100 characters."))
                      ->type_name("NAME")
                      ->check(GreetingName());
  o->out_opt = sub.add_option("--out", o->out,
                              _("Where the card goes: FILE.png, .jpg, .jpeg or .bmp, or - for standard output "
                                "(default: FRIEND-from-SENDER.png in the current folder)."))
                   ->type_name("FILE");
  sub.add_flag("--force", o->force, _("Replace FRIEND-from-SENDER.png when it is there already."));
  o->plain_opt =
      sub.add_option("--plain", o->plain, _("Also save the picture as it was before the effect, the ornaments and the greeting."))->type_name("FILE");
  o->animate_opt = sub.add_option("--animate", o->animate,
                                  _("The card painting itself, as an animation that loops: FILE.gif (for e-mail), .webp "
                                    "or .png (APNG). The still card is then written only where --out says."))
                       ->type_name("FILE");
  sub.add_option("--animate-width", o->animate_width,
                 _("The animation's width in pixels, 16 to 896 (default 450; 896 is the card's own size)."))
      ->type_name("N")
      ->check(WholeNumber(kMinAnimationWidth, kMaxAnimationWidth))
      ->needs(o->animate_opt);
  sub.add_option("--report", o->report, _("Write the card's settings and counts as JSON to FILE, or to standard output for -."))
      ->type_name("FILE");
  sub.add_option("--format", o->format, _("The picture format (png, jpg or bmp) for - and for names without an extension."))
      ->type_name("FORMAT")
      ->check(OneOf(kFormatWords));
  auto* max_styles = sub.add_option("--max-styles", o->max_styles, _("The most drawing styles the card layers, 1 to 24 (default 15)."))
                         ->type_name("N")
                         ->check(WholeNumber(1, 24));
  auto* mode = sub.add_option("--mode", o->mode, _("How the effect is revealed: line (default) or pix, pixel by pixel."))
                   ->type_name("MODE")
                   ->check(OneOf({"line", "pix"}));
  auto* palette = sub.add_option("--palette", o->palette, _("A fixed palette, 1 to 26, instead of one drawn at random."))
                      ->type_name("N")
                      ->check(WholeNumber(1, 26));
  auto* year = sub.add_option("--year", o->year,
                              _("The new year the greeting wishes for (default: the coming one, from October on "
                                "the next year)."))
                   ->type_name("N")
                   ->check(WholeNumber(kFirstYear, kLastYear));
  auto* wish = sub.add_option("--wish", o->wish,
                              _("Your own words for the middle of the greeting, at most 100 characters, instead of "
                                "\"I wish you a happy new year YEAR!\"."))
                   ->type_name("TEXT")
                   ->check(WishText());
  o->scale_opt = sub.add_option("--scale", o->scale,
                               _("Draw the card N times larger each way, 1 to 4 (default 1): the same picture with "
                                 "more pixels, for print."))
                    ->type_name("N")
                    ->check(WholeNumber(1, kMaxScale));
  auto* print = sub.add_option("--print", o->print,
                 _("Lay the card out for print on SIZE (a6, 5x7 or letter-half, landscape), filling the page and "
                   "3 mm past its edges: a PDF, or a 300 ppi PNG for --out FILE.png."))
      ->type_name("SIZE")
      ->check(OneOf(PaperSizeWords()));
  sub.add_flag("--crop-marks", o->crop_marks, _("With --print, crop marks in a white margin around the page."))
      ->needs(print);
  sub.add_option("--ppi", o->ppi,
                 _("The pixel density a PNG records, 1 to 10000 pixels an inch (default: 300 for a card drawn "
                   "larger, else 96)."))
      ->type_name("N")
      ->check(WholeNumber(1, 10000));
  auto* mail_to = sub.add_option("--mail-to", o->mail_to,
                                 _("Then mail the card to ADDRESS: through $MIRELUNE_SMTP_URL when set, else in "
                                   "the desktop mail program."))
                     ->type_name("ADDRESS");
  sub.add_option("--message", o->message, _("The text of the mail."))->needs(mail_to);
  sub.add_option("--again", o->again, _("Make again the card whose settings a PNG or JPEG card of mirelune-cli carries."))
      ->type_name("FILE")
      ->excludes(o->friend_opt)
      ->excludes(o->sender_opt)
      ->excludes(max_styles)
      ->excludes(mode)
      ->excludes(palette)
      ->excludes(year)
      ->excludes(wish)
      ->excludes(o->scale_opt);
  return [o, &mailing] { return RunCard(*o, mailing); };
}

Action SetUpInfo(CLI::App& sub, const Mailing&) {
  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  sub.add_option("FILE", *file, _("A PNG or JPEG card made by mirelune-cli."))->required();
  sub.add_flag("--json", *json, _("Print the whole report as JSON."));
  return [file, json]() -> Result<int> {
    MIRELUNE_TRY_ASSIGN(const Json report, ReadReport(*file));
    if (*json) {
      Say(TerminalText(report.dump(2), /*json=*/true) + "\n");
    } else {
      const std::string summary = CardSummary(report, *file);
      Json rest = report;  // the summary's settings are not repeated below it
      if (!summary.empty())
        for (const char* shown : {"friend", "sender", "settings", "palette"}) rest.erase(shown);
      MIRELUNE_TRY_ASSIGN(const std::string flat, FlatReportText(rest, *file));
      Say(summary + flat);
    }
    return 0;
  };
}

}  // namespace mirelune::cli
