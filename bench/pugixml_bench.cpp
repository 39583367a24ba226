// The XML peer of bench/run: pugixml (Debian's libpugixml-dev) parses the
// same file from memory and saves the document back to a string without
// indentation, as the program's writer does.
//
//   lumireel_bench_pugixml FILE ROUNDS
//
// Rounds as in lumireel_bench_xml: one untimed, then ROUNDS timed. Prints
// one JSON object with the seconds of every round.
#include <cstdio>
#include <iterator>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using lumireel::bench::Clock;
using lumireel::bench::SecondsSince;

// Collects what pugixml writes into one string.
class StringWriter : public pugi::xml_writer {
 public:
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
  std::string text;
};

struct Rounds {
  std::vector<double> parse;
  std::vector<double> save;
  std::size_t photos = 0;
  std::size_t written_bytes = 0;
};

void RunRound(const std::string& text, Rounds& rounds) {
  const Clock::time_point start = Clock::now();
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(text.data(), text.size());
  rounds.parse.push_back(SecondsSince(start));
  const Clock::time_point save_start = Clock::now();
  StringWriter writer;
  document.save(writer, "", pugi::format_raw);
  rounds.save.push_back(SecondsSince(save_start));
  rounds.written_bytes = writer.text.size();
  const pugi::xml_node album = document.child("album");
  rounds.photos = parsed ? static_cast<std::size_t>(std::distance(album.begin(), album.end())) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<lumireel::bench::XmlArguments> args =
      lumireel::bench::ReadXmlArguments(argc, argv, "lumireel_bench_pugixml");
  if (!args) return 2;
  const Rounds rounds = lumireel::bench::TimedRounds<Rounds>(*args, RunRound);
  std::printf("{");
  lumireel::bench::PrintSeconds("parse", rounds.parse);
  lumireel::bench::PrintSeconds("save", rounds.save);
  std::printf("\"photos\": %zu, \"written_bytes\": %zu}\n", rounds.photos, rounds.written_bytes);
  return 0;
}
