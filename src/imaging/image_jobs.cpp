#include "imaging/image_jobs.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "bridge/file_utils.h"
#include "bridge/movie_messages.h"
#include "bridge/pacing.h"
#include "imaging/photo_list_rewrite.h"
#include "imaging/worker_threads.h"
#include "library/stored_xml.h"

namespace lumireel {
namespace {

constexpr std::size_t kNoPredecessor = static_cast<std::size_t>(-1);
// How long the new previews' sizes of a folder job may wait to go into the
// list, at most; a job cut short keeps the sizes of all but the last ones.
constexpr std::chrono::seconds kFolderSizesInterval{1};

// One photo of a folder job.
struct FolderPhoto {
  int index = 0;  // among the children of the list's root
  ImageEdit edit;
  bool safe = false;  // its file and id name files inside the folder
  // An earlier photo of the same image or id, which must be done first.
  std::size_t after = kNoPredecessor;
};

// True when `name` names an entry of a folder and nothing beyond it.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

// The photos of the list's root that the job edits, in list order.
std::vector<FolderPhoto> FolderPhotos(const CXmlNode& root, const ImageJob& job) {
  std::vector<FolderPhoto> photos;
  std::map<std::string, std::size_t> last_by_file;
  std::map<std::string, std::size_t> last_by_id;
  const auto& children = root.children();
  for (std::size_t i = 0; i < children.size() && i <= INT_MAX; ++i) {
    const std::string* file = children[i]->GetChildValue("file");
    const std::string* id = children[i]->GetChildValue("id");
    if (file == nullptr || id == nullptr) continue;
    FolderPhoto photo;
    photo.index = static_cast<int>(i);
    photo.edit.source = job.first + "\\big\\" + *file;
    photo.edit.output = job.first + "\\preview\\" + *file;
    photo.edit.adjustments = job.second;
    photo.edit.root = job.root;
    photo.edit.folder = job.first;
    photo.edit.id = *id;
    photo.safe = IsPlainName(*file) && IsPlainName(*id);
    // Entries of one image or one id are edited in list order, one after
    // the other, as each sees the result of the one before.
    const std::size_t position = photos.size();
    auto follow = [&](std::map<std::string, std::size_t>& last, const std::string& key) {
      auto [it, inserted] = last.try_emplace(key, position);
      if (inserted) return;
      if (photo.after == kNoPredecessor || it->second > photo.after) photo.after = it->second;
      it->second = position;
    };
    follow(last_by_file, *file);
    follow(last_by_id, *id);
    photos.push_back(std::move(photo));
  }
  return photos;
}

// Edits `photos` on up to `workers` threads and calls `done(i)` on the
// calling thread for i = 0, 1, ... in turn, each once photo i is finished.
template <typename Done>
void EditInOrder(const std::vector<FolderPhoto>& photos, const EditServices& services,
                 unsigned workers, Done done) {
  std::mutex mu;
  std::condition_variable cv;
  std::vector<bool> finished(photos.size(), false);  // guarded by mu
  std::size_t next = 0;                              // guarded by mu

  auto work = [&] {
    for (;;) {
      std::size_t i = 0;
      {
        std::unique_lock lock(mu);
        if (next >= photos.size()) return;
        i = next++;
        // The photo it waits for was taken earlier and never waits for a
        // later one, so this always ends.
        const std::size_t after = photos[i].after;
        cv.wait(lock, [&] { return after == kNoPredecessor || finished[after]; });
      }
      if (photos[i].safe) {
        try {
          (void)ProcessImage(photos[i].edit, services);
        } catch (const std::exception&) {
          // A photo that cannot be edited (out of memory) is passed over.
        }
      }
      {
        std::lock_guard lock(mu);
        finished[i] = true;
      }
      cv.notify_all();
    }
  };

  std::vector<std::thread> threads;
  const std::size_t count = std::min<std::size_t>(std::max(workers, 1u), photos.size());
  const OnePhotoPerThread one_photo_per_thread(static_cast<unsigned>(count));
  threads.reserve(count);
  for (std::size_t t = 0; t < count; ++t) {
    try {
      threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // go on with the threads there are
    }
  }
  if (threads.empty()) work();
  for (std::size_t i = 0; i < photos.size(); ++i) {
    {
      std::unique_lock lock(mu);
      cv.wait(lock, [&] { return static_cast<bool>(finished[i]); });
    }
    done(i);
  }
  for (std::thread& thread : threads) thread.join();
}

void RunFolderJob(const ImageJob& job, const ImageJobServices& services) {
  const std::string list_path = job.first + "photos.xml";
  const std::optional<std::string> text = ReadTextFileUtf8(list_path);
  CXmlDocument list;
  if (!text || !ParseStoredXml(*text, list)) return;
  const CXmlNode& root = *list.RootElement();
  const int total = static_cast<int>(std::min<std::size_t>(root.ChildCount(), INT_MAX));

  // The list is read for the preview box once, and the new previews' sizes
  // go into it many at a time: a rewrite per photo would read and write the
  // whole list for each one.
  const PreviewBox box = ReadPreviewBox(list_path);
  std::vector<FolderPhoto> photos = FolderPhotos(root, job);
  std::vector<PixelSize> sizes(photos.size());
  for (std::size_t i = 0; i < photos.size(); ++i) {
    photos[i].edit.preview_box = &box;
    photos[i].edit.preview_size = &sizes[i];
  }
  std::map<std::string, PixelSize> unrecorded;
  auto recorded = std::chrono::steady_clock::now();
  const auto record = [&] {
    if (!unrecorded.empty()) (void)RewritePhotoSizes(list_path, unrecorded);
    unrecorded.clear();
    recorded = std::chrono::steady_clock::now();
  };
  EditInOrder(photos, {services.dialogs, services.pacing}, services.workers, [&](std::size_t i) {
    if (!sizes[i].empty()) unrecorded[photos[i].edit.id] = sizes[i];
    if (std::chrono::steady_clock::now() - recorded >= kFolderSizesInterval) record();
    CallMovie(services.movie, ShowProgressMessage(total, photos[i].index));
  });
  record();
  CallMovie(services.movie, ShowProgressMessage(total, total));
  services.pacing.Pause(kFolderJobEndPause);
  CallMovie(services.movie, ReloadBigImgMessage());
}

}  // namespace

void RunImageJob(const ImageJob& job, const ImageJobServices& services) {
  services.pacing.Pause(kImageJobStartPause);
  if (job.folder_mode) {
    RunFolderJob(job, services);
    return;
  }
  ImageEdit edit;
  edit.source = job.first;
  edit.output = job.second;
  edit.adjustments = job.third;
  edit.root = job.root;
  edit.preview_mode = job.preview_mode;
  edit.folder = job.folder;
  edit.id = job.photo_id;
  (void)ProcessImage(edit, {services.dialogs, services.pacing});
  CallMovie(services.movie, job.preview_mode ? ReloadPreviewMessage() : ReloadBigImgMessage());
}

}  // namespace lumireel
