#pragma once

// The text operations every parser and rewriter uses, in one include: characters and marker
// searches, replacements (with the user's replace rule), character references, markup tags
// and fragments.
#include "compose/Entities.h"
#include "compose/Fragments.h"
#include "compose/Replacements.h"
#include "compose/Tags.h"
#include "compose/TextSearch.h"
