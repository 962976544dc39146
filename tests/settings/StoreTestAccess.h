#pragma once

#include "settings/SettingsStore.h"

namespace quillet::settings {

// Reaches into the store where a test cannot get by honest means: the section-append guard
// only fires when a freshly appended section header cannot be found again.
struct SettingsStoreTestAccess {
    static void forceSectionMiss(SettingsStore& store, bool on) { store.m_forceSectionMiss = on; }
};

} // namespace quillet::settings
