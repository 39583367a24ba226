// A small program on the headless host, for testing the host over real
// pipes. Requests:
//   echo:TEXT    answers TEXT and calls the movie with TEXT
//   cwd          answers the current folder
//   quit:N       ends the main loop with N
//   stuck        starts a worker that never ends
//   exit:N       a worker thread ends the process with N
// The system closing the window (or the end of the input) ends the loop with 0.
#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "platform/headless/headless_host.h"

namespace {

using lumireel::platform::headless::HeadlessHost;

std::string After(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : std::string();
}

void HandleRequest(HeadlessHost& host, const std::string& request) {
  if (request.rfind("echo:", 0) == 0) {
    host.SetReturnValue(After(request, "echo:"));
    host.CallFunction(After(request, "echo:"));
  } else if (request == "cwd") {
    host.SetReturnValue(std::filesystem::current_path().string());
  } else if (request.rfind("quit:", 0) == 0) {
    host.PostQuit(std::stoi(After(request, "quit:")));
  } else if (request == "stuck") {
    std::thread([] {
      std::mutex mu;
      std::condition_variable never;
      std::unique_lock lock(mu);
      never.wait(lock, [] { return false; });
    }).detach();
  } else if (request.rfind("exit:", 0) == 0) {
    int code = std::stoi(After(request, "exit:"));
    std::thread([&host, code] { host.Exit(code); }).detach();
  }
}

}  // namespace

int main() {
  std::ios::sync_with_stdio(false);
  HeadlessHost host(std::cin, std::cout, {1024, 768});
  host.SetFlashCallHandler([&host](const std::string& request) { HandleRequest(host, request); });
  host.SetCloseHandler([&host] { host.PostQuit(0); });
  host.Start();
  host.Exit(host.RunModal());
}
