// The job queues of the program, one per kind of long command. Window
// tracking is not among them: it runs on threads of its own and never
// counts as pending work.
#pragma once

#include <functional>

#include "bridge/job_queue.h"

namespace lumireel {

struct Jobs {
  // `on_change` is called whenever a queue gains or finishes a job.
  explicit Jobs(std::function<void()> on_change = {})
      : import("import", on_change),
        edit("edit", on_change),
        publish("publish", on_change),
        tidy("tidy", on_change) {}

  bool Idle() const { return import.Idle() && edit.Idle() && publish.Idle() && tidy.Idle(); }

  JobQueue import;   // photo import and its watcher
  JobQueue edit;     // image editing jobs
  JobQueue publish;  // publishing
  JobQueue tidy;     // the start-up sweep of what interrupted writes left
};

}  // namespace lumireel
