// The palette chooser, answered line by line from the input; when the input runs
// out the answer is "0", which ends it.
#include <memory>

#include "core/state.h"
#include "fuzz_util.h"
#include "palette/palette.h"

namespace {

class AnswersHost : public mirelune::Host {
 public:
  std::vector<std::string> answers;
  std::size_t next = 0;
  std::string InputBox(const std::string&, const std::string&, int, int) override {
    return next < answers.size() ? answers[next++] : "0";
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  static auto s = std::make_unique<State>();  // made once: a state holds several canvases
  AnswersHost host;
  host.answers = fuzz::Fields(data, size, '\n', 1000);
  s->host = &host;
  ChoosePalette(*s);
  fuzz::Require(s->settings.colour_mode >= 0 && s->settings.colour_mode <= 26);
  s->host = nullptr;
  return 0;
}
