// The keywords database of one album: a keywords folder (in an album,
// `photoparts\keywordsDB`) holding the list file `keywordsdb.xml` (root `db`,
// one `t` child per keyword file, holding the file's number) and the
// numbered keyword files `<number>.xml` (root `keys`, one
// `<s p="P" a="A">keywords</s>` entry per tagged photo, the keywords'
// separating spaces stored as commas). The current keyword file is the one
// with the highest listed number; new entries go there while it is at most
// kKeywordFileLimit bytes long, and then to a new file listed after it.
//
// Keywords travel in the form the movie sends them: the inner text of the
// request's argument, in which & < > " ' stand as references. They are
// stored decoded (the file's writer encodes them again) and go back to the
// movie in exactly the form in which they came.
#pragma once

#include <cstddef>
#include <string>

namespace lumireel {

namespace platform {
class MovieControl;
}

inline constexpr char kKeywordListFile[] = "keywordsdb.xml";
inline constexpr char kEmptyKeywordList[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<db>\r\n</db>\r\n\r\n";
inline constexpr char kEmptyKeywordFile[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n<keys>\r\n</keys>\r\n\r\n";
inline constexpr std::size_t kKeywordFileLimit = 502400;

enum class KeywordMode : char {
  kGet = 'g',  // GetKeyWords
  kAdd = 'a',  // AddKeyWords
};

// Looks for the entry of the photo (p, a) in the keyword files of `folder`,
// in list order.
//
// kGet: a found entry is sent to the movie with setKeyWords, commas turned
// back into spaces. kAdd: a found entry gets `keywords` and its file is
// rewritten. In both modes a photo without an entry gets one, holding
// `keywords` (empty for kGet), in the current keyword file; when that file
// is over the limit, in a new file numbered one above the highest listed
// number (or the next number whose file does not exist) that is then added
// to the list. A missing list starts a new one listing 1; a missing listed
// file counts as empty and is made when an entry goes into it.
//
// Nothing happens when `folder` is empty, when the list or a keyword file
// that must be read exists but cannot be read or parsed, or has no `db` or
// `keys` root. Existing keyword files are only ever rewritten with an entry
// added or changed. Every file is replaced atomically under its
// LockFilePath, the list's lock being held for the whole command; the movie
// is called after the locks are released. Write failures are not reported.
void HandleKeywords(platform::MovieControl& movie, const std::string& keywords,
                    const std::string& folder, long p, long a, KeywordMode mode);

}  // namespace lumireel
