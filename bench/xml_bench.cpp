// Times the program's two XML readers on one file, for bench/run: the element
// tree (ParseText into a fresh document, then ToXml of the whole document)
// and the strict reader (ParseString, looking for the "album" element).
//
//   lumireel_bench_xml FILE ROUNDS
//
// The file is read into memory first. One untimed round warms the allocator
// up, then ROUNDS timed rounds follow. Prints one JSON object with the
// seconds of every round and what was parsed, so that a run that parsed
// nothing cannot pass for a fast one.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "xml/element_tree.h"
#include "xml/strict_reader.h"

namespace {

using lumireel::bench::Clock;
using lumireel::bench::SecondsSince;

struct Rounds {
  std::vector<double> parse_text;
  std::vector<double> to_xml;
  std::vector<double> parse_string;
  std::size_t photos = 0;       // children of the root element, element tree
  std::size_t read_photos = 0;  // children of "album", strict reader
  std::size_t written_bytes = 0;
};

void RunRound(const std::string& text, Rounds& rounds) {
  {
    const Clock::time_point start = Clock::now();
    lumireel::CXmlDocument document;
    const bool parsed = document.ParseText(text) != nullptr;
    rounds.parse_text.push_back(SecondsSince(start));
    const Clock::time_point write_start = Clock::now();
    const std::string written = document.ToXml();
    rounds.to_xml.push_back(SecondsSince(write_start));
    rounds.written_bytes = written.size();
    const lumireel::CXmlNode* root = document.RootElement();
    rounds.photos = parsed && root != nullptr ? root->ChildCount() : 0;
  }
  const Clock::time_point start = Clock::now();
  lumireel::XmlReadResult result;
  const lumireel::XmlReadNode album =
      lumireel::XmlReadNode::ParseString(text.c_str(), "album", &result);
  rounds.read_photos = static_cast<std::size_t>(album.CountChildNodes());
  rounds.parse_string.push_back(SecondsSince(start));
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<lumireel::bench::XmlArguments> args =
      lumireel::bench::ReadXmlArguments(argc, argv, "lumireel_bench_xml");
  if (!args) return 2;
  const Rounds rounds = lumireel::bench::TimedRounds<Rounds>(*args, RunRound);
  std::printf("{");
  lumireel::bench::PrintSeconds("parse_text", rounds.parse_text);
  lumireel::bench::PrintSeconds("to_xml", rounds.to_xml);
  lumireel::bench::PrintSeconds("parse_string", rounds.parse_string);
  std::printf("\"photos\": %zu, \"read_photos\": %zu, \"written_bytes\": %zu}\n", rounds.photos,
              rounds.read_photos, rounds.written_bytes);
  return 0;
}
