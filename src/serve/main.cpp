// mirelune-serve — the card page and its API over HTTP (src/web/), with the
// card's bytes and report made exactly as `mirelune-cli card` makes them.
//
//   mirelune-serve --listen 127.0.0.1:8080 --jobs 2 --rate 30/min
//
// A program of its own, so that the card command links no HTTP or TLS library;
// `mirelune-cli serve ...` runs it. Exit status: 0 stopped by SIGTERM or SIGINT,
// 1 could not start, 2 bad input.
#include <algorithm>
#include <iostream>
#include <thread>

#include "base/checks.h"
#include "base/i18n.h"
#include "base/platform.h"
#include "cli/cli.h"
#include "text/text.h"
#include "web/web.h"

namespace mirelune::cli {
namespace {

struct ServeArgs {
  web::ServeOptions o;
  std::string rate;
};

// The bytes `card --out NAME.<format>` writes, or the line `card --report -` prints.
Result<Bytes> WriteOutput(const CardSpec& c, const Card& made, const Image& picture, web::Output output,
                          FaceDigests& digests, PixelBuffer& png_rows) {
  if (output == web::Output::kReport) {
    const std::string text = ReportText(CardReport(c, made.seed, made.stats, made.text.faces, digests)) + "\n";
    return Bytes(text.begin(), text.end());
  }
  if (output == web::Output::kBmp) {  // a BMP carries no report; `card` makes none for it
    const PngText text = CardPngText(GreetingOf(c), nlohmann::ordered_json::object());
    return EncodeImage(picture, ImageFormat::kBmp, &text);
  }
  PngText text = CardPngText(GreetingOf(c), CardReport(c, made.seed, made.stats, made.text.faces, digests));
  if (c.scale > 1) text.pixels_per_inch = kPrintPpi;  // as `card --scale` records it
  return EncodeImage(picture, output == web::Output::kJpeg ? ImageFormat::kJpeg : ImageFormat::kPng, &text, png_rows);
}

Result<int> RunServe(ServeArgs& a) {
  if (!a.rate.empty()) {
    std::string n = a.rate;
    if (n.size() > 4 && n.ends_with("/min")) n.resize(n.size() - 4);
    if (!WholeNumberProblem(n, 1, 1000000).empty())
      return Error{Fill(_("--rate: N/min with N from 1 to 1000000, not \"%s\""), {a.rate})};
    a.o.rate_per_minute = std::stoi(n);
  }
  if (const Result<> faces = PrepareFaces(FontFolder()); !faces) return Error{faces.message};
  const auto digests = std::make_shared<FaceDigests>();
  const web::Site site(VersionText() + "\n" + web::FaceIdentity(),
                       [digests](const CardSpec& c, const Card& made, const Image& picture, web::Output o,
                                 PixelBuffer& png_rows) { return WriteOutput(c, made, picture, o, *digests, png_rows); });
  // A server that cannot start (a taken port, a root user) is not bad input: status 1.
  const Result<int> served = web::Serve(a.o, site);
  if (!served) std::cerr << "mirelune-serve: " << served.error().message << "\n";
  return served ? *served : 1;
}

Action SetUpServe(CLI::App& sub) {
  auto a = std::make_shared<ServeArgs>();
  web::ServeOptions& o = a->o;
  const unsigned cores = std::thread::hardware_concurrency();
  o.jobs = cores > 0 ? static_cast<int>(cores) : 1;
  // Sending cached cards is copying bytes: one thread a core, a few at most.
  o.http_threads = std::min(o.jobs, 4);
  sub.add_option("--listen", o.listen, _("ADDRESS:PORT, [IPv6]:PORT or unix:PATH (default 127.0.0.1:8080)"))
      ->type_name("WHERE");
  sub.add_option("--jobs", o.jobs, _("threads making cards (default: the number of cores)"))
      ->type_name("N")
      ->check(WholeNumber(1, 256));
  sub.add_option("--queue", o.queue, _("cards waiting for a thread at most; past it 503 (default 64)"))
      ->type_name("N")
      ->check(WholeNumber(0, 100000));
  sub.add_option("--cache-mib", o.cache_mib, _("MiB of made cards kept in memory (default 64)"))
      ->type_name("N")
      ->check(WholeNumber(0, 1 << 20));
  sub.add_option("--rate", a->rate, _("new cards a client may have made a minute (default: no limit)"))
      ->type_name("N/min");
  sub.add_option("--trusted-proxy", o.trusted_proxies,
                 _("a proxy's address (or unix, for the socket) whose X-Forwarded-For names the client; repeatable"))
      ->type_name("ADDR");
  sub.add_option("--timeout", o.timeout_s,
                 _("seconds a request may take to arrive whole, and a connection may be idle (default 10)"))
      ->type_name("S")
      ->check(WholeNumber(1, 3600));
  sub.add_option("--max-per-client", o.max_per_client,
                 _("open connections one address (IPv6: one /64) may hold; trusted proxies have no cap (default 32)"))
      ->type_name("N")
      ->check(WholeNumber(1, 100000));
  sub.add_flag("--allow-root", o.allow_root, _("run even as root (not advised)"));
  return [a] { return RunServe(*a); };
}

int Fail(int status, const std::string& message) {
  std::cerr << "mirelune-serve: " << message << "\n";
  if (status == 2) std::cerr << _("Run 'mirelune-serve --help' for its options.") << "\n";
  return status;
}

int Run(int argc, char** argv) {
  CLI::App app{_("mirelune-serve: the card page and its HTTP API, for browsers"), "mirelune-serve"};
  app.option_defaults()->group(_("Options"));
  app.set_help_flag("-h,--help", _("print this help and exit"));
  app.set_version_flag("--version", "mirelune-serve " + VersionText(), _("print the version and exit"));
  const Action run = SetUpServe(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    Say(app.help());
    return 0;
  } catch (const CLI::CallForVersion& e) {
    Say(std::string(e.what()) + "\n");
    return 0;
  } catch (const CLI::ParseError& e) {
    return Fail(2, e.what());
  }
  const Result<int> status = run();
  return status ? *status : Fail(2, status.error().message);
}

}  // namespace
}  // namespace mirelune::cli

int main(int argc, char** argv) {
  mirelune::cli::GuardStandardDescriptors();
  mirelune::PrepareConsole();
  mirelune::SetUpTranslation(argv[0]);
  // UTF-8 whatever the system: on Windows argv holds the arguments in the ANSI code page.
  mirelune::Utf8Argv args(argc, argv);
  int status;
  try {
    status = mirelune::cli::Run(args.argc(), args.argv());
  } catch (const std::exception& e) {
    status = mirelune::cli::Fail(1, e.what());
  }
  if (const mirelune::Result<> flushed = mirelune::cli::FlushStdout(); !flushed)
    status = mirelune::cli::Fail(1, flushed.message);
  return status;
}
