// The job queues of the program, one per kind of long command. Window
// tracking is not among them: it runs on threads of its own and never
// counts as pending work.
#pragma once

#include <functional>

#include "bridge/job_queue.h"
#include "publish/published_galleries.h"

namespace lumireel {

struct Jobs {
  // `on_change` is called whenever a queue gains or finishes a job.
  explicit Jobs(std::function<void()> on_change = {})
      : import("import", on_change),
        edit("edit", on_change),
        publish("publish", on_change),
        tidy("tidy", on_change) {}

  bool Idle() const { return import.Idle() && edit.Idle() && publish.Idle() && tidy.Idle(); }

  // Before the queues, so that it outlives the jobs that record and read it.
  PublishedGalleries published;

  JobQueue import;   // photo import and its watcher
  JobQueue edit;     // image editing jobs
  JobQueue publish;  // publishing and uploads
  JobQueue tidy;     // the start-up sweep of what interrupted writes left
};

}  // namespace lumireel
