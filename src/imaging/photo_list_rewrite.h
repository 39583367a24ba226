// The photo-list reads and rewrites of the photo pipeline: the preview box of
// a list, the rewrite that records a photo's new preview size, and the
// append of the photos an import brought in.
//
// Lists are parsed with backslashes as ordinary characters (as the library
// stores them), rewritten atomically, and every rewrite holds the list's
// LockFilePath from its read to its write, so an import and an edit never
// lose each other's changes. Callers must not hold that lock. Any thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "imaging/rendition_sizes.h"
#include "library/photo_info.h"
#include "library/stored_xml.h"
#include "xml/element_tree.h"

namespace lumireel {

// The preview bounds the movie stored on the list's root.
struct PreviewBox {
  long width = 0;   // attribute mwidth
  long height = 0;  // attribute mheight
};

// The values of the root's `mwidth` and `mheight` attributes, each read as a
// decimal integer; a missing attribute, or a list that cannot be read or
// parsed, gives 0.
PreviewBox ReadPreviewBox(const std::string& list_path);

// Rebuilds the list at `list_path` keeping exactly: the root attributes
// mheight, mwidth and id (those present, in that order) and, for every child
// element of the root that has an `id` child, a `photo` with the children
// id, file, name, w and h copied from it, except that the photo whose id
// text equals `id` gets `width` and `height`. Everything else (other
// attributes, other children, elements without id, comments) is dropped. A
// list that parses without a root element becomes an empty `album`. Returns
// false, leaving the list as it was, when it cannot be read or parsed, or
// cannot be written.
bool RewritePhotoSize(const std::string& list_path, const std::string& id, std::uint32_t width,
                      std::uint32_t height);

// As RewritePhotoSize, for many photos in one rewrite: every photo whose id
// text is a key of `sizes` gets that size; the list is as the calls of
// RewritePhotoSize for each entry in turn would leave it.
bool RewritePhotoSizes(const std::string& list_path, const std::map<std::string, PixelSize>& sizes);

// Sets the root's `mwidth` and `mheight` attributes (the preview box that
// edits make previews in) to `width` and `height`, adding those missing and
// leaving everything else of the list as it is; a list that already has them
// is not written. False, leaving the list as it was, when it cannot be read,
// parsed or written.
bool RewritePreviewBox(const std::string& list_path, long width, long height);

// One photo brought in by an import: its id, preview size and facts.
struct ImportedPhoto {
  int id = 0;
  std::uint32_t preview_width = 0;
  std::uint32_t preview_height = 0;
  PhotoFacts facts;
};

// A photo list as an import read it when it began.
struct LoadedList {
  TextStamp stamp;  // of the text read
  // A list this program wrote needs no check: its text is kept, to be parsed
  // only if the document is wanted. Any other list is parsed at once.
  std::string text;
  CXmlDocument document;  // kept root children as text
  bool parsed = false;

  // The document with a root element (parsed from `text` first when it was
  // kept), or null when it does not parse.
  CXmlDocument* Document();
};

// Reads the list at `list_path` into the empty `loaded`. False when it
// cannot be read, or is not known as written by this program and does not
// parse.
bool LoadList(const std::string& list_path, LoadedList& loaded);

// Appends a `photo` entry for each of `photos` (in order) to the root of the
// list at `list_path` and writes it. The list is read again under its lock,
// so that changes made while the photos were rendered are kept: a list that
// holds what this program last wrote gets the entries added to its text;
// otherwise, when it still holds the text `loaded` was read from, or can no
// longer be read or parsed, `loaded` is used. False when the list cannot be
// written; the file is then left as it was. Once the list is written, the
// photos' facts are recorded in the facts file of `part_folder` under the
// same lock (see RecordPhotoFacts); a facts file that cannot be written does
// not fail the import.
bool AppendImportedPhotos(const std::string& part_folder, const std::string& list_path,
                          LoadedList& loaded, const std::vector<ImportedPhoto>& photos);

}  // namespace lumireel
