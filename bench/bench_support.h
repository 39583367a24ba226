// Small helpers shared by the benchmark programs of bench/run.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumireel::bench {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The whole file at `path`, or nullopt when it cannot be read.
inline std::optional<std::string> ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The command line of the XML programs: FILE ROUNDS, FILE read whole.
struct XmlArguments {
  std::string text;
  int rounds = 1;
};

// Reads `program FILE ROUNDS`; prints the usage or the error to standard
// error and returns nullopt when they are not right.
inline std::optional<XmlArguments> ReadXmlArguments(int argc, char** argv, const char* program) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s FILE ROUNDS\n", program);
    return std::nullopt;
  }
  std::optional<std::string> text = ReadWholeFile(argv[1]);
  if (!text) {
    std::fprintf(stderr, "%s: cannot read %s\n", program, argv[1]);
    return std::nullopt;
  }
  return XmlArguments{std::move(*text), std::max(1, std::atoi(argv[2]))};
}

// One untimed round of `run_round(text, rounds)` to warm the allocator up,
// then `rounds` timed ones; returns what the timed ones recorded.
template <typename Rounds, typename RunRound>
Rounds TimedRounds(const XmlArguments& args, RunRound run_round) {
  Rounds warm_up;
  run_round(args.text, warm_up);
  Rounds rounds;
  for (int i = 0; i < args.rounds; ++i) run_round(args.text, rounds);
  return rounds;
}

// Prints `"name": [s1, s2, ...], ` as part of a JSON object.
inline void PrintSeconds(const char* name, const std::vector<double>& seconds) {
  std::printf("\"%s\": [", name);
  for (std::size_t i = 0; i < seconds.size(); ++i) {
    std::printf("%s%.6f", i == 0 ? "" : ", ", seconds[i]);
  }
  std::printf("], ");
}

}  // namespace lumireel::bench
