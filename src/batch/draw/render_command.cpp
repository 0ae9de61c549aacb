// zephyrim render: one page of a schematic, or every page into one PDF, as a
// picture drawn exactly as the editor draws and prints it.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "batch/draw/draw_program.h"
#include "common/notify.h"
#include "render/page_painter.h"
#include "render/page_picture.h"
#include "render/picture_file.h"
#include "schematic/page_size.h"
#include "schematic/schematic_file.h"

namespace zephyrim {

int render_command(const Arguments& a) {
  const std::string out = a.text("--output");
  const std::string ext = lower_extension(out);
  if (ext != ".png" && ext != ".svg" && ext != ".pdf" && ext != ".bmp")
    return usage_error(a, "the picture must be a .png, .svg, .pdf or .bmp file");
  const bool all_pages = a.has("--all-pages");
  if (all_pages && a.has("--page")) return usage_error(a, "--all-pages draws every page: give no --page");
  if (all_pages && ext != ".pdf")
    return usage_error(a, "--all-pages writes one PDF of every page: the output must be a .pdf file");
  // Any whole number is taken: the model itself refuses pages that do not exist.
  const int page_number = static_cast<int>(std::clamp(a.integer("--page", 1), -1000000LL, 1000000LL));
  const double scale = a.number("--scale", 1);

  // The load's questions take the command line's answer, by default "yes" so that
  // it goes on as far as it can.
  BatchNotify notify(kSchematicTitle, a.answer);
  SchematicLoad r = schematic_load(a.positionals[0], notify, true);
  if (!r.schematic) return 2;
  Schematic& s = *r.schematic;
  if (!all_pages && !page_select(s, page_number - 1, notify)) return 2;
  std::vector<const Page*> pages;
  for (int n = 0; n < s.page_count() && n < static_cast<int>(s.pages.size()); ++n) {
    if (!all_pages && n != s.current_page()) continue;
    // As printing does: the size code decides the extent and the size text.
    page_size_apply(*s.pages[n]);
    pages.push_back(s.pages[n].get());
  }

  const bool ok =
      ext == ".pdf"
          ? write_rendered(out, [&](QIODevice& device) { return write_pages_pdf(device, s, pages); })
          : write_picture(out, page_picture_area(*pages.front()), scale,
                          [&](QPainter& p) { draw_page(p, s, *pages.front()); });
  if (!ok) {
    notify.error("Cannot write picture file " + out);
    return 2;
  }
  // A partly read schematic still draws, but scripts must be able to tell.
  return r.code == 0 ? 0 : 1;
}

}  // namespace zephyrim
