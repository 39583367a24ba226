#include "library/keywords_db.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <vector>

#include "bridge/file_utils.h"
#include "bridge/invoke_request.h"
#include "bridge/movie_messages.h"
#include "library/stored_xml.h"
#include "xml/element_tree.h"

namespace lumireel {
namespace {

// One keyword file as read from disk, or made from the template.
struct KeywordFile {
  std::unique_ptr<CXmlDocument> document = std::make_unique<CXmlDocument>();
  CXmlNode* keys = nullptr;
  size_t size = 0;  // bytes on disk; 0 for a new file
};

enum class Load { kLoaded, kMissing, kBroken };

Load LoadKeywordFile(const std::string& path, KeywordFile& file) {
  const std::optional<std::string> text = ReadTextFileUtf8(path);
  if (!text) return NothingAt(path) ? Load::kMissing : Load::kBroken;
  file.size = text->size();
  if (!ParseStoredXml(*text, *file.document)) return Load::kBroken;
  file.keys = FindTopLevelElement(*file.document, "keys");
  return file.keys != nullptr ? Load::kLoaded : Load::kBroken;
}

KeywordFile NewKeywordFile() {
  KeywordFile file;
  (void)ParseStoredXml(kEmptyKeywordFile, *file.document);
  file.keys = FindTopLevelElement(*file.document, "keys");
  return file;
}

bool AttrReads(const CXmlNode& node, std::string_view name, long number) {
  const std::string* value = node.GetAttrValue(name);
  return value != nullptr && ReadDecimal(*value) == number;
}

CXmlNode* FindEntry(const CXmlNode& keys, long p, long a) {
  for (const auto& child : keys.children()) {
    if (child->kind == XmlNodeKind::Element && child->name == "s" && AttrReads(*child, "p", p) &&
        AttrReads(*child, "a", a)) {
      return child.get();
    }
  }
  return nullptr;
}

void AppendEntry(CXmlNode& keys, const std::string& stored, long p, long a) {
  CXmlNode* entry = keys.AppendChild("s", stored);
  entry->AppendAttr("p", std::to_string(p));
  entry->AppendAttr("a", std::to_string(a));
}

// The movie's inner text as it is stored: references decoded once (the
// writer encodes the value again), spaces as commas.
std::string StoredKeywords(const std::string& inner_text) {
  std::string stored = XmlSafeText(XmlEntityTable::Default().Decode(inner_text));
  std::replace(stored.begin(), stored.end(), ' ', ',');
  return stored;
}

// A stored value in the form the movie sent it.
std::string KeywordsForMovie(std::string stored) {
  std::replace(stored.begin(), stored.end(), ',', ' ');
  return EncodeMessageText(stored);
}

std::string KeywordFilePath(const std::string& folder, long number) {
  return JoinPath(folder, std::to_string(number) + ".xml");
}

// One keyword command on one folder. Run() holds the list's lock throughout
// and each keyword file's lock while that file is read and rewritten.
class KeywordCommand {
 public:
  KeywordCommand(const std::string& folder, std::string stored, long p, long a, KeywordMode mode)
      : folder_(folder),
        list_path_(JoinPath(folder, kKeywordListFile)),
        stored_(std::move(stored)),
        p_(p),
        a_(a),
        mode_(mode) {}

  // The setKeyWords message to send, if any.
  std::optional<std::string> Run() {
    const std::unique_lock list_lock = LockFilePath(list_path_);
    if (!LoadList()) return std::nullopt;
    bool stop = false;
    std::optional<std::string> reply = UpdateFound(&stop);
    if (stop) return std::nullopt;
    if (!found_ && !AddEntry()) return std::nullopt;
    if (list_changed_ && !WriteTextFileUtf8(list_path_, list_.ToXml()) && !new_file_.empty()) {
      // An unlisted new file would hide its entry for good.
      RemoveFile(new_file_);
    }
    return reply;
  }

 private:
  // Reads the list, or starts one when there is none. False when a list is
  // there but is not one this command can safely rewrite.
  bool LoadList() {
    if (const std::optional<std::string> text = ReadTextFileUtf8(list_path_)) {
      if (!ParseStoredXml(*text, list_)) return false;
      db_ = FindTopLevelElement(list_, "db");
      if (db_ == nullptr) return false;
    } else {
      if (!NothingAt(list_path_)) return false;
      (void)ParseStoredXml(kEmptyKeywordList, list_);
      db_ = FindTopLevelElement(list_, "db");
      list_changed_ = true;
    }
    for (const CXmlNode* t : db_->FindChildren("t")) {
      const long number = ReadDecimal(t->value);
      if (number > 0) numbers_.push_back(number);
    }
    // A list that names no file gets the first one, so that entries put
    // into it can be found again.
    if (numbers_.empty()) {
      db_->AppendChild("t", "1");
      numbers_.push_back(1);
      list_changed_ = true;
    }
    return true;
  }

  // Looks through the listed files in order; on a match sends (kGet) or
  // stores (kAdd) and stops searching. Sets *stop when a listed file is
  // there but cannot be read or parsed.
  std::optional<std::string> UpdateFound(bool* stop) {
    for (const long number : numbers_) {
      const std::string path = KeywordFilePath(folder_, number);
      const std::unique_lock file_lock = LockFilePath(path);
      KeywordFile file;
      const Load load = LoadKeywordFile(path, file);
      if (load == Load::kMissing) continue;
      if (load == Load::kBroken) {
        *stop = true;
        return std::nullopt;
      }
      CXmlNode* entry = FindEntry(*file.keys, p_, a_);
      if (entry == nullptr) continue;
      found_ = true;
      if (mode_ == KeywordMode::kGet) return SetKeyWordsMessage(KeywordsForMovie(entry->value));
      entry->value = stored_;
      if (!WriteTextFileUtf8(path, file.document->ToXml())) *stop = true;
      return std::nullopt;
    }
    return std::nullopt;
  }

  // Adds the photo's entry to the current file, or to a new one when the
  // current file is over the limit. False when nothing could be written.
  bool AddEntry() {
    const long current = *std::max_element(numbers_.begin(), numbers_.end());
    {
      const std::string path = KeywordFilePath(folder_, current);
      const std::unique_lock file_lock = LockFilePath(path);
      KeywordFile file;
      const Load load = LoadKeywordFile(path, file);
      if (load == Load::kBroken) return false;
      if (load == Load::kMissing) file = NewKeywordFile();
      if (file.size <= kKeywordFileLimit) {
        AppendEntry(*file.keys, stored_, p_, a_);
        return WriteTextFileUtf8(path, file.document->ToXml());
      }
    }
    // A new file never takes the place of one that is there already.
    if (current >= INT_MAX) return false;
    long next = current + 1;
    while (next < INT_MAX && !NothingAt(KeywordFilePath(folder_, next))) ++next;
    if (next >= INT_MAX) return false;
    const std::string path = KeywordFilePath(folder_, next);
    const std::unique_lock file_lock = LockFilePath(path);
    KeywordFile file = NewKeywordFile();
    AppendEntry(*file.keys, stored_, p_, a_);
    if (!WriteTextFileUtf8(path, file.document->ToXml())) return false;
    db_->AppendChild("t", std::to_string(next));
    list_changed_ = true;
    new_file_ = path;
    return true;
  }

  const std::string folder_;
  const std::string list_path_;
  const std::string stored_;
  const long p_;
  const long a_;
  const KeywordMode mode_;

  CXmlDocument list_;
  CXmlNode* db_ = nullptr;
  std::vector<long> numbers_;  // the listed file numbers, in list order
  bool list_changed_ = false;
  bool found_ = false;
  std::string new_file_;  // the file this command made for the list to name
};

}  // namespace

void HandleKeywords(platform::MovieControl& movie, const std::string& keywords,
                    const std::string& folder, long p, long a, KeywordMode mode) {
  if (folder.empty()) return;
  const std::optional<std::string> reply =
      KeywordCommand(folder, StoredKeywords(keywords), p, a, mode).Run();
  if (reply) CallMovie(movie, *reply);
}

}  // namespace lumireel
