// Crash safety of the workspace files: the real program is killed with
// SIGKILL at random moments while it imports photos, stores keywords,
// registers imported albums and writes the movie's files, round after round
// on one workspace. After every kill:
//
// - every XML file of the workspace is well-formed (checked by xmllint);
// - a file the movie wrote holds its content from before the round or one of
//   the contents the round sent, byte for byte;
// - a file the program rewrites (photo list, catalogue, keyword files) kept
//   every entry it had, and a file no command of the round touches is
//   unchanged;
// - no photo list names a rendition that is not there, the catalogue names
//   no missing album folder, the keyword list no missing keyword file, and a
//   newly registered album holds a whole copy of the imported folder;
// - the only leftovers of unfinished writes are names beginning with "."
//   (which neither the program nor the movie reads as data).
//
// The seed is printed; LUMIREEL_CRASH_SEED repeats a run and
// LUMIREEL_CRASH_ROUNDS changes the number of kills (200).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bridge/movie_messages.h"
#include "e2e/support/headless_process.h"
#include "imaging/test_images.h"
#include "library/stored_xml.h"
#include "support/temp_folder.h"

namespace lumireel {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using FileMap = std::map<std::string, std::string>;  // path in the workspace -> bytes

constexpr char kCatalogue[] = "quillmaralbumsettings/quillmaralbums.xml";
constexpr char kPart[] = "MyAlbums/1/photoparts/1";
constexpr char kKeywords[] = "MyAlbums/1/photoparts/keywordsDB";
constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>";

unsigned long EnvOr(const char* name, unsigned long fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : fallback;
}

std::string Request(const std::string& name, const std::vector<std::string>& values) {
  std::string xml = "<invoke name=\"" + name + "\" returntype=\"xml\"><arguments>";
  for (const std::string& value : values)
    xml += "<string>" + EncodeMessageText(value) + "</string>";
  return xml + "</arguments></invoke>";
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// What one round may change, besides the files of `exact`.
struct RoundPlan {
  std::map<std::string, std::set<std::string>> exact;  // movie files -> allowed contents
  bool imports = false;                                // kPart/photos.xml
  bool keywords = false;                               // kKeywords/*.xml
  bool registers = false;                              // the catalogue, new album folders
};

class CrashSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ws_ = fs::path(root_.path()) / "workspace";
    material_ = fs::path(root_.path()) / "material";
    MakeWorkspace();
    MakeMaterial();
  }

  fs::path At(const std::string& relative) const { return ws_ / relative; }
  void Put(const fs::path& path, const std::string& bytes) const {
    fs::create_directories(path.parent_path());
    testing::WriteBytes(path.string(), bytes);
  }

  void MakeWorkspace() {
    Put(At(kCatalogue), std::string(kDeclaration) +
                            "<albums location=\"MyAlbums\"><album id=\"1\"><name>First</name>"
                            "</album></albums>");
    Put(At(std::string(kPart) + "/photos.xml"), std::string(kDeclaration) + "<album></album>\r\n");
    fs::create_directories(At(kPart) / "big");
    fs::create_directories(At(kPart) / "preview");
    fs::create_directories(At(kKeywords));
    fs::create_directories(At("MyAlbums/1/photoparts/sounds"));
    Put(At("MyAlbums/1/photoparts/parts.xml"), "<parts><part id=\"1\"/></parts>");
    fs::create_directories(At("notes"));
  }

  // The photos the import dialog is answered with, and an album folder made
  // elsewhere for importAlbum (two parts of three photos, and sounds).
  void MakeMaterial() {
    const std::vector<std::pair<int, int>> sizes = {{1600, 1200}, {640, 480}, {2400, 1800}};
    for (const auto& [w, h] : sizes) {
      const std::string path = (material_ / ("pick " + std::to_string(w) + ".jpg")).string();
      fs::create_directories(material_);
      testing::SaveJpeg(testing::Gradient(w, h), path);
      picks_.push_back(path);
    }
    const fs::path parts = material_ / "trip/photoparts";
    Put(parts / "parts.xml", "<parts><part id=\"1\"/><part id=\"2\"/></parts>");
    for (int part = 1; part <= 2; ++part) {
      std::string list = std::string(kDeclaration) + "<album mwidth=\"180\" mheight=\"180\">";
      for (int id = 1; id <= 3; ++id) {
        const std::string name = std::to_string(id) + ".jpg";
        const fs::path folder = parts / std::to_string(part);
        fs::create_directories(folder / "big");
        fs::create_directories(folder / "preview");
        testing::SaveJpeg(testing::Gradient(700, 525), (folder / "big" / name).string(), 97);
        testing::SaveJpeg(testing::Gradient(180, 135), (folder / "preview" / name).string());
        list += "<photo><id>" + std::to_string(id) + "</id><name/><file>" + name +
                "</file><w>180</w><h>135</h></photo>";
      }
      Put(parts / std::to_string(part) / "photos.xml", list + "</album>");
    }
    Put(parts / "keywordsDB/keywordsdb.xml", "<db><t>1</t></db>");
    Put(parts / "keywordsDB/1.xml", "<keys><s p=\"1\" a=\"1\">sea,sand</s></keys>");
    // Many files, so that copying the album takes long enough to be cut
    // short now and then.
    for (int i = 0; i < 60; ++i) {
      Put(parts / "sounds" / ("tune " + std::to_string(i) + ".mp3"), std::string(40000, 'm'));
    }
    source_tree_ = ReadTree(parts);
  }

  // Every regular file below `folder` (for the album copy check).
  static FileMap ReadTree(const fs::path& folder) {
    FileMap files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (entry.is_regular_file()) {
        files[entry.path().lexically_relative(folder).string()] =
            testing::Bytes(entry.path().string());
      }
    }
    return files;
  }

  // The XML files of the workspace outside dot-named folders and files; the
  // dot-named entries are counted in `leftovers`.
  FileMap Snapshot(std::vector<std::string>* leftovers = nullptr) const {
    FileMap files;
    for (auto it = fs::recursive_directory_iterator(ws_); it != fs::recursive_directory_iterator();
         ++it) {
      const fs::path relative = it->path().lexically_relative(ws_);
      if (it->path().filename().string().starts_with(".")) {
        if (leftovers != nullptr) leftovers->push_back(relative.string());
        if (it->is_directory()) it.disable_recursion_pending();
        continue;
      }
      if (it->is_regular_file() && it->path().extension() == ".xml") {
        files[relative.string()] = testing::Bytes(it->path().string());
      }
    }
    return files;
  }

  // Sends a random mix of work and fills `plan` with what it may change.
  // Only one kind of dialog is used per round, so that every queued answer
  // reaches the dialog it was meant for.
  void SendWork(testing::HeadlessProcess& app, const FileMap& before, RoundPlan& plan) {
    const int count = std::uniform_int_distribution<int>(1, 4)(random_);
    const bool album_round = Chance(0.3);
    bool album_sent = false;
    for (int i = 0; i < count; ++i) {
      switch (std::uniform_int_distribution<int>(0, 3)(random_)) {
        case 0:
          if (album_round) {
            if (!album_sent) SendImportAlbum(app, plan);
            album_sent = true;
          } else {
            SendAddPhoto(app, plan);
          }
          break;
        case 1:
          SendKeywords(app, plan);
          break;
        default:
          SendMovieFile(app, before, plan);
          break;
      }
    }
  }

  bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }

  void SendAddPhoto(testing::HeadlessProcess& app, RoundPlan& plan) {
    std::vector<std::string> files;
    const int count = std::uniform_int_distribution<int>(1, 3)(random_);
    for (int i = 0; i < count; ++i) {
      files.push_back(picks_[std::uniform_int_distribution<size_t>(0, picks_.size() - 1)(random_)]);
    }
    app.Answer(Json{{"files", files}});
    const std::string folder = ws_.string() + "\\MyAlbums\\1\\photoparts\\1";
    app.Invoke(
        Request("AddPhoto", {folder, "x", "", "180", "180", "700", "700", "", "", "", "reload"}));
    plan.imports = true;
  }

  void SendImportAlbum(testing::HeadlessProcess& app, RoundPlan& plan) {
    static const char* const kNames[] = {"Trip", "Tom & Jerry <2024>", "Zo\xC3\xAB's \"album\"",
                                         " spaced  out "};
    app.Answer(Json{{"folder", (material_ / "trip").string()}});
    app.Invoke(Request("importAlbum", {kNames[std::uniform_int_distribution<int>(0, 3)(random_)]}));
    plan.registers = true;
  }

  void SendKeywords(testing::HeadlessProcess& app, RoundPlan& plan) {
    // Long keyword texts make the keyword files grow past their limit, so
    // that new files are started and listed during the run.
    const int words = std::uniform_int_distribution<int>(1, 5000)(random_);
    std::string keywords;
    for (int i = 0; i < words; ++i) keywords += (i % 7 == 3 ? "fish&chips " : "sea ");
    const std::string p = std::to_string(std::uniform_int_distribution<int>(1, 60)(random_));
    const std::string a = std::to_string(std::uniform_int_distribution<int>(1, 2)(random_));
    app.Invoke(Request("AddKeyWords", {keywords, At(kKeywords).string(), p, a}));
    plan.keywords = true;
  }

  // WriteFile or WriteLFile of an XML document of a few hundred bytes to a
  // megabyte and a half.
  void SendMovieFile(testing::HeadlessProcess& app, const FileMap& before, RoundPlan& plan) {
    const bool relative = Chance(0.3);
    const std::string name = std::string(relative ? "l" : "w") +
                             std::to_string(std::uniform_int_distribution<int>(0, 2)(random_)) +
                             ".xml";
    const double kind = std::uniform_real_distribution<double>(0, 1)(random_);
    const size_t size = kind < 0.6 ? 300 : kind < 0.9 ? 64 * 1024 : 1536 * 1024;
    std::string content =
        std::string(kDeclaration) + "\n<settings serial=\"" + std::to_string(++serial_) + "\">\n";
    while (content.size() < size) {
      content +=
          "  <item n=\"" + std::to_string(content.size()) + "\">Caf\xC3\xA9 &amp; co</item>\n";
    }
    // Without a final line feed: the request reader cuts blanks at the end
    // of a value.
    content += "</settings>";

    const std::string key = "notes/" + name;
    if (!plan.exact.contains(key)) {
      const auto old = before.find(key);
      plan.exact[key].insert(old != before.end() ? old->second : std::string("(absent)"));
    }
    if (relative) {
      app.Invoke(Request("WriteLFile", {"notes\\" + name, content}));
      plan.exact[key].insert(WithCrLf(content));
    } else {
      app.Invoke(Request("WriteFile", {At(key).string(), content}));
      plan.exact[key].insert(content);
    }
  }

  // The problems of the workspace after a round; empty when it is sound.
  std::vector<std::string> Check(const FileMap& before, const FileMap& after,
                                 const RoundPlan& plan) {
    std::vector<std::string> problems;
    std::vector<std::string> changed;
    std::set<std::string> paths;
    for (const auto& [path, bytes] : before) paths.insert(path);
    for (const auto& [path, bytes] : after) paths.insert(path);
    for (const std::string& path : paths) {
      const auto old = before.find(path);
      const auto now = after.find(path);
      const bool existed = old != before.end();
      const bool exists = now != after.end();
      if (exists && (!existed || old->second != now->second)) changed.push_back(path);
      if (const auto allowed = plan.exact.find(path); allowed != plan.exact.end()) {
        if (!allowed->second.contains(exists ? now->second : std::string("(absent)"))) {
          problems.push_back(path + ": neither its old content nor one that was sent");
        }
      } else if (existed && !exists) {
        problems.push_back(path + ": lost");
      } else if (!MayChange(path, existed, plan) &&
                 (!exists || !existed || old->second != now->second)) {
        problems.push_back(path + ": changed by a round that does not write it");
      }
    }
    if (!changed.empty() && !WellFormed(changed)) {
      for (const std::string& path : changed) {
        if (!WellFormed({path})) problems.push_back(path + ": not well-formed");
      }
    }
    CheckPhotoLists(after, problems);
    CheckCatalogue(before, after, problems);
    CheckKeywords(before, after, problems);
    return problems;
  }

  static bool MayChange(const std::string& path, bool existed, const RoundPlan& plan) {
    // An import writes the photo list and, beside it, the photos' facts.
    if (plan.imports && (path == std::string(kPart) + "/photos.xml" ||
                         path == std::string(kPart) + "/photoinfo.xml")) {
      return true;
    }
    if (plan.keywords && fs::path(path).parent_path() == kKeywords) return true;
    if (plan.registers && (path == kCatalogue || (!existed && path.starts_with("MyAlbums/")))) {
      return true;
    }
    return false;
  }

  // xmllint over all of `paths` at once.
  bool WellFormed(const std::vector<std::string>& paths) const {
    std::string command = "xmllint --noout";
    for (const std::string& path : paths) command += " " + testing::Quote(At(path).string());
    return testing::Run(command + " >/dev/null 2>&1");
  }

  // The parsed file, or null when it is missing or does not parse.
  static std::unique_ptr<CXmlDocument> Parse(const FileMap& files, const std::string& path) {
    const auto found = files.find(path);
    auto document = std::make_unique<CXmlDocument>();
    if (found == files.end() || !ParseStoredXml(found->second, *document)) return nullptr;
    return document;
  }

  static std::vector<std::string> ChildValues(const CXmlNode& root, const char* element,
                                              const char* child) {
    std::vector<std::string> values;
    for (const CXmlNode* node : root.FindChildren(element)) {
      const std::string* value = child != nullptr ? node->GetChildValue(child) : &node->value;
      values.push_back(value != nullptr ? *value : std::string());
    }
    return values;
  }

  // Every photo list names renditions that are there, and the list of the
  // imported-into part kept its photos.
  void CheckPhotoLists(const FileMap& after, std::vector<std::string>& problems) {
    for (const auto& [path, bytes] : after) {
      if (fs::path(path).filename() != "photos.xml") continue;
      std::unique_ptr<CXmlDocument> list = Parse(after, path);
      if (!list || list->RootElement()->name != "album") {
        problems.push_back(path + ": not a photo list");
        continue;
      }
      const fs::path folder = At(fs::path(path).parent_path().string());
      for (const std::string& file : ChildValues(*list->RootElement(), "photo", "file")) {
        for (const char* kind : {"big", "preview"}) {
          std::error_code ec;
          if (fs::file_size(folder / kind / file, ec) == 0 || ec) {
            problems.push_back(path + ": names " + kind + "/" + file + ", which is not there");
          }
        }
      }
      ++lists_checked_;
    }
    const std::string list = std::string(kPart) + "/photos.xml";
    if (std::unique_ptr<CXmlDocument> now = Parse(after, list)) {
      const size_t photos = now->RootElement()->FindChildren("photo").size();
      if (photos < photos_listed_) problems.push_back(list + ": lost photos");
      photos_listed_ = photos;
    }
  }

  // The catalogue kept its albums, names no missing folder, and each album
  // it gained holds a whole copy of the imported folder's photoparts.
  void CheckCatalogue(const FileMap& before, const FileMap& after,
                      std::vector<std::string>& problems) {
    std::unique_ptr<CXmlDocument> old_doc = Parse(before, kCatalogue);
    std::unique_ptr<CXmlDocument> new_doc = Parse(after, kCatalogue);
    if (!new_doc || new_doc->RootElement()->name != "albums") {
      problems.push_back(std::string(kCatalogue) + ": not a catalogue");
      return;
    }
    auto ids = [](const CXmlDocument& doc) {
      std::set<std::string> ids;
      for (const CXmlNode* album : doc.RootElement()->FindChildren("album")) {
        if (const std::string* id = album->GetAttrValue("id")) ids.insert(*id);
      }
      return ids;
    };
    const std::set<std::string> old_ids = old_doc ? ids(*old_doc) : std::set<std::string>{};
    const std::set<std::string> new_ids = ids(*new_doc);
    for (const std::string& id : old_ids) {
      if (!new_ids.contains(id)) problems.push_back("catalogue: lost album " + id);
    }
    for (const std::string& id : new_ids) {
      if (!fs::is_directory(At("MyAlbums/" + id))) {
        problems.push_back("catalogue: names album " + id + ", whose folder is not there");
      }
      if (old_ids.contains(id) || id == "1") continue;
      if (ReadTree(At("MyAlbums/" + id + "/photoparts")) != source_tree_) {
        problems.push_back("album " + id + ": registered without a whole copy of its photoparts");
      }
    }
    albums_registered_ = new_ids.size() - 1;
  }

  // The keyword list names only files that are there, and no photo lost its
  // keyword entry.
  void CheckKeywords(const FileMap& before, const FileMap& after,
                     std::vector<std::string>& problems) {
    auto entries = [](const FileMap& files) {
      std::set<std::pair<std::string, std::string>> found;
      for (const auto& [path, bytes] : files) {
        if (fs::path(path).parent_path() != kKeywords ||
            fs::path(path).filename() == "keywordsdb.xml") {
          continue;
        }
        if (std::unique_ptr<CXmlDocument> doc = Parse(files, path)) {
          for (const CXmlNode* s : doc->RootElement()->FindChildren("s")) {
            const std::string* p = s->GetAttrValue("p");
            const std::string* a = s->GetAttrValue("a");
            found.insert({p != nullptr ? *p : "", a != nullptr ? *a : ""});
          }
        }
      }
      return found;
    };
    const auto kept = entries(after);
    for (const auto& entry : entries(before)) {
      if (!kept.contains(entry)) {
        problems.push_back("keywords: the entry of photo " + entry.first + "/" + entry.second +
                           " was lost");
      }
    }
    const std::string list = std::string(kKeywords) + "/keywordsdb.xml";
    if (!after.contains(list)) return;
    std::unique_ptr<CXmlDocument> db = Parse(after, list);
    if (!db || db->RootElement()->name != "db") {
      problems.push_back(list + ": not a keyword list");
      return;
    }
    const std::vector<std::string> numbers = ChildValues(*db->RootElement(), "t", nullptr);
    for (const std::string& number : numbers) {
      if (!after.contains(std::string(kKeywords) + "/" + number + ".xml")) {
        problems.push_back(list + ": names keyword file " + number + ", which is not there");
      }
    }
    keyword_files_ = numbers.size();
  }

  testing::TempFolder root_;
  fs::path ws_;
  fs::path material_;
  std::vector<std::string> picks_;
  FileMap source_tree_;
  std::mt19937 random_;
  int serial_ = 0;
  size_t lists_checked_ = 0;
  size_t photos_listed_ = 0;
  size_t albums_registered_ = 0;
  size_t keyword_files_ = 0;
};

TEST_F(CrashSafetyTest, KillsAtRandomMomentsLeaveEveryFileWhole) {
  const unsigned long seed = EnvOr("LUMIREEL_CRASH_SEED", 1212);
  const unsigned long rounds = EnvOr("LUMIREEL_CRASH_ROUNDS", 200);
  std::cout << "crash safety: seed " << seed << " (LUMIREEL_CRASH_SEED=" << seed
            << " repeats this run), " << rounds << " rounds" << std::endl;
  RecordProperty("seed", std::to_string(seed));
  random_.seed(static_cast<std::mt19937::result_type>(seed));

  testing::HeadlessProcessOptions options = testing::DefaultHeadlessOptions();
  options.workspace = ws_;
  unsigned long kills = 0;
  size_t broken = 0;
  size_t files_checked = 0;
  std::set<std::string> leftovers;
  for (unsigned long round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed));
    testing::HeadlessProcess app(options);
    ASSERT_TRUE(app.Sync()) << app.Transcript();  // start-up done
    const FileMap before = Snapshot();
    RoundPlan plan;
    SendWork(app, before, plan);
    // The kill comes mostly soon after the work was sent, now and then late
    // enough for a whole import to end. The output is read meanwhile, so
    // that the program never blocks on a full pipe.
    const int delay = Chance(0.85) ? std::uniform_int_distribution<int>(0, 250)(random_)
                                   : std::uniform_int_distribution<int>(250, 1000)(random_);
    (void)app.WaitFor([](const Json&) { return false; }, std::chrono::milliseconds(delay));
    ASSERT_EQ(::kill(app.pid(), SIGKILL), 0);
    ASSERT_EQ(app.WaitExit(), 128 + SIGKILL) << app.Transcript();
    ++kills;

    std::vector<std::string> dot_entries;
    const FileMap after = Snapshot(&dot_entries);
    for (const std::string& entry : dot_entries) {
      leftovers.insert(entry);
      EXPECT_NE(fs::path(entry).extension(), ".xml") << entry << " would be read as data";
    }
    const std::vector<std::string> problems = Check(before, after, plan);
    files_checked += after.size();
    broken += problems.size();
    for (const std::string& problem : problems) ADD_FAILURE() << problem;
    if (problems.size() > 0 && broken > 20) break;
  }

  // A later run works on what the kills left: a whole import goes through.
  {
    testing::HeadlessProcess app(options);
    ASSERT_TRUE(app.Sync());
    const FileMap before = Snapshot();
    const size_t photos_before = photos_listed_;
    RoundPlan plan;
    SendAddPhoto(app, plan);
    SendKeywords(app, plan);
    ASSERT_TRUE(app.Sync(std::chrono::seconds(120))) << app.Transcript();
    const std::vector<std::string> problems = Check(before, Snapshot(), plan);
    for (const std::string& problem : problems) ADD_FAILURE() << problem;
    broken += problems.size();
    EXPECT_GT(photos_listed_, photos_before) << "the import after the kills added nothing";
    app.CloseInput();
    EXPECT_EQ(app.WaitExit(), 0);
  }

  // Leftovers by kind: the temporary files of atomic writes (.tmp), of
  // renditions (.jpg), and part copies of albums.
  std::map<std::string, int> kinds;
  for (const std::string& entry : leftovers) {
    ++kinds[entry.ends_with(".tmp") || entry.ends_with(".jpg") ? entry.substr(entry.size() - 4)
                                                               : std::string("album copies")];
  }
  std::string kinds_text;
  for (const auto& [kind, count] : kinds) kinds_text += " " + std::to_string(count) + " " + kind;
  std::cout << "crash safety: " << kills << " kills, " << broken << " broken files; "
            << files_checked << " XML file states checked, " << lists_checked_ << " photo lists, "
            << photos_listed_ << " photos listed, " << albums_registered_ << " albums registered, "
            << keyword_files_ << " keyword files; " << leftovers.size()
            << " dot-named leftovers of unfinished writes:" << kinds_text << std::endl;
  EXPECT_EQ(broken, 0u);
}

}  // namespace
}  // namespace lumireel
