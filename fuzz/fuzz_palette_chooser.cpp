// The palette chooser's answers, line by line from the input: a number is 0..26,
// and a palette's strip is painted in it.
#include "commands/commands.h"
#include "fuzz_util.h"
#include "palette/palette.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  for (const std::string& answer : fuzz::Fields(data, size, '\n', 1000)) {
    const std::optional<int> number = PaletteNumber(answer);
    if (!number) continue;
    fuzz::Require(*number >= 0 && *number <= 26);
    Session s;
    const std::optional<std::string> caption = CommandChoosePalette(s, *number, answer);
    fuzz::Require(s.settings.colour_mode == *number && caption.has_value() == (*number != 0));
  }
  return 0;
}
