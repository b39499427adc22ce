// batch.cpp — `batch`: the cards of a whole CSV list, checked options first.
#include <signal.h>
#include <unistd.h>

#include <ctime>
#include <iostream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "base/i18n.h"
#include "batch/batch.h"
#include "commands/export.h"
#include "cli/cli.h"

namespace mirelune::cli {
namespace {

struct BatchArgs {
  BatchOptions o;
  std::string shard, rate, format = "png", animate, attach;
};

// "K/N" or "N/min" as two whole numbers; false when the text is neither.
bool Fraction(const std::string& text, const char* pattern, int* a, int* b) {
  std::smatch m;
  if (!std::regex_match(text, m, std::regex(pattern))) return false;
  *a = std::stoi(m[1]);
  *b = m[2].matched ? std::stoi(m[2]) : 0;
  return true;
}

Result<int> RunBatch(BatchArgs& a, const Mailing& mailing) {
  BatchOptions& o = a.o;
  if (!a.shard.empty() && (!Fraction(a.shard, R"(([0-9]{1,6})/([0-9]{1,6}))", &o.shard, &o.shards) ||
                           o.shards < 1 || o.shard >= o.shards))
    return Error{Fill(_("--shard: K/N with 0 <= K < N, not \"%s\""), {a.shard})};
  if (!a.rate.empty()) {
    if (!o.mail) return Error{_("--rate limits messages and needs --mail")};
    int per_minute = 0, unused = 0;
    if (!Fraction(a.rate, R"(([0-9]{1,6})(?:/min)?)", &per_minute, &unused) || per_minute < 1)
      return Error{Fill(_("--rate: N/min with N at least 1, not \"%s\""), {a.rate})};
    o.rate_per_minute = per_minute;
  }
  o.format = *ParseFormat(a.format);  // the option's own check has refused anything else
  if (!a.animate.empty()) o.animation = AnimationFormatOfName("card." + a.animate);
  if (a.attach == "gif") {
    if (!o.mail) return Error{_("--attach chooses what the mail carries and needs --mail")};
    if (o.animation && *o.animation != AnimationFormat::kGif)
      return Error{_("--attach gif mails the GIF: --animate must be gif or left out")};
    o.animation = AnimationFormat::kGif;  // mail programs play GIF alone
    o.attach_animation = true;
  }
  if (o.mail) {
    if (!mailing.server) return mailing.hand_over();
    MIRELUNE_TRY_ASSIGN(o.mail_server, mailing.server());
  }
  // Exactly the bytes `card --out NAME.<format>` writes.
  o.encode = [digests = std::make_shared<FaceDigests>()](const CardSpec& spec, const Card& made, ImageFormat format,
                                                         PixelBuffer& png_rows) -> Result<CardFile> {
    CardFile card;
    card.report = CardReport(spec, made.seed, made.stats, made.text.faces, *digests);
    const PngText text = CardFileText(spec, card.report);
    MIRELUNE_TRY_ASSIGN(card.bytes, EncodeImage(made.card.image(), format, &text, png_rows));
    return card;
  };
#ifdef SIGPIPE
  ::signal(SIGPIPE, SIG_IGN);  // a closed stderr must not kill the run between a card and its line
#endif
  o.progress_bar = TerminalTakesEscapes(2);
  std::ostringstream summary;
  const int status = RunBatchList(o, summary, std::cerr);
  Say(summary.str());
  return status;
}

}  // namespace

Action SetUpBatch(CLI::App& sub, const Mailing& mailing) {
  auto a = std::make_shared<BatchArgs>();
  BatchOptions& o = a->o;
  const unsigned cores = std::thread::hardware_concurrency();
  o.jobs = cores > 0 ? static_cast<int>(cores) : 1;
  o.year = ComingYear(std::time(nullptr));
  sub.add_option("LIST", o.list,
                 _("The list: CSV with a header row, the columns friend and sender, and optionally email, message, "
                   "mode, palette, max_styles, year and wish."))
      ->required();
  sub.add_option("--out-dir", o.out_dir, _("The folder for the cards and manifest.jsonl."))
      ->type_name("DIR")
      ->required();
  sub.add_option("--jobs", o.jobs,
                 Fill(_("How many threads make cards (default: the number of cores; at most %s a core and one a row "
                        "are used)."),
                      {std::to_string(kMaxThreadsPerCore)}))
      ->type_name("N")
      ->check(WholeNumber(1, 256));
  sub.add_option("--shard", a->shard, _("Only the rows whose index modulo N is K, counting from 0."))->type_name("K/N");
  sub.add_option("--year", o.year, _("The new year of the rows without one (default: the coming one)."))
      ->type_name("N")
      ->check(WholeNumber(kFirstYear, kLastYear));
  sub.add_option("--scale", o.scale, _("Draw every card N times larger each way, 1 to 4 (default 1), as card --scale does."))
      ->type_name("N")
      ->check(WholeNumber(1, kMaxScale));
  sub.add_option("--format", a->format, _("The cards' format: png (default), jpg or bmp."))
      ->type_name("FORMAT")
      ->check(OneOf(kFormatWords));
  sub.add_option("--animate", a->animate,
                 _("Also each card painting itself, beside it as NNNNNN-FRIEND-SENDER.animated.gif, .webp or .png "
                   "(APNG)."))
      ->type_name("gif|webp|png")
      ->check(OneOf({"gif", "webp", "png"}));
  sub.add_option("--animate-width", o.animation_width, _("The animations' width in pixels, 16 to 896 (default 450)."))
      ->type_name("N")
      ->check(WholeNumber(kMinAnimationWidth, kMaxAnimationWidth));
  sub.add_option("--attach", a->attach, _("What each mail carries: png, the card (default), or gif, the card painting itself."))
      ->type_name("png|gif")
      ->check(OneOf({"png", "gif"}));
  sub.add_flag("--mail", o.mail, _("Send each card to its row's email with its message, through $MIRELUNE_SMTP_URL."));
  sub.add_option("--rate", a->rate, _("Send at most N messages a minute."))->type_name("N/min");
  return [a, &mailing] { return RunBatch(*a, mailing); };
}

}  // namespace mirelune::cli
