// lumireel: the photo-album and slide-show gallery builder.
//
//   lumireel --headless [--pace F] [--screen WxH]   JSON lines on stdin/stdout
//   lumireel [--desktop] [--pace F]                 the window (when built with it)
//   lumireel --version | --help
//
// The same source makes two programs. `lumireel` holds the core and the
// headless host and maps no GTK or WebKit library; asked for the window, it
// hands over to `lumireel-desktop` beside it (exec, the same arguments),
// which holds the core with the desktop host as well.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "app/application.h"
#include "app/jobs.h"
#include "bridge/pacing.h"
#include "platform/headless/headless_host.h"
#ifdef LUMIREEL_DESKTOP_HOST
#include "platform/gtk/desktop_host.h"
#ifdef LUMIREEL_HAVE_SECRET_STORE
#include "platform/gtk/secret_password_store.h"
#endif
#endif

namespace {

constexpr char kUsage[] =
    "usage: lumireel --headless [--pace F] [--screen WxH]\n"
#ifdef LUMIREEL_HAVE_DESKTOP
    "       lumireel [--desktop] [--pace F]\n"
#endif
    "       lumireel --version | --help\n"
    "\n"
    "Runs in the current folder, which is the workspace.\n"
#ifdef LUMIREEL_HAVE_DESKTOP
    "  --desktop      open the program's window (the default when a display is present)\n"
#endif
    "  --headless     speak JSON lines on standard input and output instead of opening a window\n"
    "  --pace F       multiply every fixed pause by F (default 1; 0 removes them)\n"
    "  --screen WxH   size of the headless virtual screen (default 1280x1024)\n";

struct Options {
  bool headless = false;
  double pace = 1.0;
  lumireel::platform::Size screen{1280, 1024};
};

std::optional<double> ParsePace(const char* text) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= 0) || value > 1000) return std::nullopt;
  return value;
}

std::optional<lumireel::platform::Size> ParseScreen(const char* text) {
  int w = 0;
  int h = 0;
  char tail = 0;
  if (std::sscanf(text, "%dx%d%c", &w, &h, &tail) != 2) return std::nullopt;
  if (w < 1 || h < 1 || w > 100000 || h > 100000) return std::nullopt;
  return lumireel::platform::Size{w, h};
}

// Returns the exit status to end with, or nullopt to go on.
std::optional<int> ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--version") == 0) {
      std::printf("lumireel %s\n", LUMIREEL_VERSION);
      return 0;
    }
    if (std::strcmp(arg, "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(arg, "--headless") == 0) {
      options->headless = true;
#ifdef LUMIREEL_HAVE_DESKTOP
    } else if (std::strcmp(arg, "--desktop") == 0) {
      options->headless = false;
#endif
    } else if (std::strcmp(arg, "--pace") == 0 && i + 1 < argc) {
      std::optional<double> pace = ParsePace(argv[++i]);
      if (!pace) {
        std::fprintf(stderr, "lumireel: --pace wants a number from 0 to 1000, not '%s'\n", argv[i]);
        return 2;
      }
      options->pace = *pace;
    } else if (std::strcmp(arg, "--screen") == 0 && i + 1 < argc) {
      std::optional<lumireel::platform::Size> screen = ParseScreen(argv[++i]);
      if (!screen) {
        std::fprintf(stderr, "lumireel: --screen wants WIDTHxHEIGHT, not '%s'\n", argv[i]);
        return 2;
      }
      options->screen = *screen;
    } else {
      std::fprintf(stderr, "lumireel: unknown option '%s'\n%s", arg, kUsage);
      return 2;
    }
  }
  return std::nullopt;
}

int RunHeadless(const Options& options) {
  using lumireel::platform::headless::HeadlessHost;
  std::ios::sync_with_stdio(false);
  HeadlessHost host(std::cin, std::cout, options.screen);
  lumireel::Pacing pacing(options.pace);
  lumireel::Jobs jobs([&host] { host.NotifyJobsChanged(); });
  host.SetIdleCheck([&jobs] { return jobs.Idle(); });
  host.Start();
  lumireel::CVellumcast2App app(host, host, host, pacing, jobs);
  const int code = app.InitInstance();
  host.Exit(code);
}

#ifdef LUMIREEL_DESKTOP_HOST
int RunDesktop(const Options& options) {
  std::string error;
  std::unique_ptr<lumireel::platform::gtk::DesktopHost> host =
      lumireel::platform::gtk::OpenDesktopHost(&error);
  if (!host) {
    std::fprintf(stderr,
                 "lumireel: %s; run 'lumireel --headless' in the workspace folder to use the "
                 "program without a window\n",
                 error.c_str());
    return 2;
  }
  lumireel::Pacing pacing(options.pace);
  lumireel::Jobs jobs;
  lumireel::CVellumcast2App app(*host, *host, *host, pacing, jobs);
#ifdef LUMIREEL_HAVE_SECRET_STORE
  // Never destroyed: workers that use it are not waited for.
  static const std::unique_ptr<lumireel::platform::PasswordStore> secrets =
      lumireel::platform::gtk::OpenSecretPasswordStore();
  app.SetPasswordStore(secrets.get());
#endif
  const int code = app.InitInstance();
  // Workers still running are not waited for.
  std::fflush(nullptr);
  std::_Exit(code);
}
#elif defined(LUMIREEL_HAVE_DESKTOP)
constexpr char kDesktopProgram[] = "lumireel-desktop";

// Replaces this process with the desktop program beside it, `argv` unchanged.
// Returns only when that program cannot be started.
int HandOverToDesktop(char** argv) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::string desktop = (self.parent_path() / kDesktopProgram).string();
  if (!error) ::execv(desktop.c_str(), argv);
  std::fprintf(stderr,
               "lumireel: cannot start the desktop window, %s: %s; run 'lumireel --headless' "
               "in the workspace folder to use the program without a window\n",
               error ? "/proc/self/exe" : desktop.c_str(),
               error ? error.message().c_str() : std::strerror(errno));
  return 2;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (std::optional<int> status = ParseOptions(argc, argv, &options)) return *status;
  if (options.headless) return RunHeadless(options);
#if defined(LUMIREEL_DESKTOP_HOST)
  return RunDesktop(options);
#elif defined(LUMIREEL_HAVE_DESKTOP)
  return HandOverToDesktop(argv);
#else
  std::fprintf(stderr,
               "lumireel: no desktop window in this build; run 'lumireel --headless' in the "
               "workspace folder\n");
  return 2;
#endif
}
