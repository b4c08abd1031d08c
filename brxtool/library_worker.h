// The drives' work: each tape loaded, imaged, checked and put back, the journal written first.
#pragma once

#include <functional>

#include "brxtool/library.h"
#include "brxtool/library_journal.h"

// Puts back the tapes that an earlier run left in the run's drives: where the changer says they
// came from, else where the journal says, else into the first empty slot. A drive whose tape
// stays is taken out of the run.
void return_leftovers(library_t& library, journal_t& journal);

// One worker per drive over library.jobs until every tape is done or no drive is left; meanwhile
// this thread calls paint every quarter second. Jobs no drive took are marked failed.
void run_workers(library_t& library, journal_t& journal, const std::function<void()>& paint);
