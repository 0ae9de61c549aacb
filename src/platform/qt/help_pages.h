#pragma once
// The programs' help pages: HTML files installed with them (or in the source
// tree's docs when run from a build), opened in the desktop's browser.
#include <QString>

namespace zephyrim {

// The page's full path, or empty when it is nowhere to be found.
QString help_page_path(const QString& file);

// Opens the page at the fragment (a section's id, may be empty); false when the
// page is missing or no browser took it.
bool open_help_page(const QString& file, const QString& fragment = {});

}  // namespace zephyrim
