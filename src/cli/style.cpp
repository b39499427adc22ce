// style.cpp — `style`: one drawing style alone; `styles`: their numbers and names.
#include <memory>

#include "card/card.h"
#include "cli/cli.h"
#include "text/text.h"
#include "base/i18n.h"
#include "styles/styles.h"

namespace mirelune::cli {

Action SetUpStyle(CLI::App& sub, const Mailing&) {
  struct Options {
    int number = 0;
    long long seed = 4396645;
    std::string out, format;
  };
  auto o = std::make_shared<Options>();
  sub.add_option("N", o->number, _("the style number, 1 to 23 (see `mirelune-cli styles`)"))
      ->required()
      ->type_name("N")
      ->check(WholeNumber(1, kStyleCount));
  sub.add_option("--seed", o->seed, _("the seed (default 4396645, the seed of two empty names)"))
      ->type_name("N")
      ->check(WholeNumber(0, 2147483647LL));
  sub.add_option("--out", o->out, _("FILE.png, .bmp, .jpg or .jpeg, or - (default style-N.png)"))->type_name("FILE");
  sub.add_option("--format", o->format, _("png, bmp or jpg: the format for - and for names without an extension"))
      ->type_name("FORMAT")
      ->check(OneOf(kFormatWords));
  return [o]() -> Result<int> {
    const std::optional<ImageFormat> format = o->format.empty() ? std::nullopt : ParseFormat(o->format);
    MIRELUNE_TRY_ASSIGN(const Target target, ResolveTarget("--out", o->out.empty() ? "style-" + std::to_string(o->number) + ".png" : o->out, format));
    if (const Result<> faces = PrepareFaces(FontFolder()); !faces) {
      std::cerr << "mirelune-cli: " << faces.message << "\n";
      return 1;
    }
    Fonts fonts(FontFolder());
    const Surface canvas = PaintStyleAlone(o->number, static_cast<double>(o->seed), fonts);
    for (const std::string& why : fonts.TakeRecord().problems) std::cerr << "mirelune-cli: " << why << "\n";  // as for a card
    PngText text;
    text.software = "Mirelune " + VersionText();
    text.title = "Mirelune style " + std::to_string(o->number) + " (" + kStyles[o->number - 1].name + "), seed " +
                 std::to_string(o->seed);
    return WritePicture(canvas.image(), target, text, target.to_stdout) ? 0 : 1;
  };
}

Action SetUpStyles(CLI::App&, const Mailing&) {
  return [] {
    for (int k = 0; k < kStyleCount; ++k) Say(std::to_string(k + 1) + " " + kStyles[k].name + "\n");
    return 0;
  };
}

}  // namespace mirelune::cli
