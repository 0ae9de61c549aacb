// draw_symbol paints every default library symbol, in every orientation and at
// both page scales, within the symbol's region (texts aside).
#include "render/symbol_painter.h"

#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QtTest>
#include <filesystem>

#include "symbols/symbol_library.h"

class SymbolPainterTest : public QObject {
  Q_OBJECT
 private slots:
  void draws_inside_the_region() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zephyrim_paint_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy_file(std::string(ZEPHYRIM_SOURCE_DIR) + "/data/symbols/default.sym", dir / "default.sym",
                  fs::copy_options::overwrite_existing);
    zephyrim::RecordingNotify notify;
    zephyrim::SymbolLibrary lib;
    QCOMPARE(zephyrim::library_open(lib, (dir / "default.sym").string(), notify), 1);
    int drawn = 0;
    for (size_t i = 0; i < lib.index.entries.size(); ++i) {
      zephyrim::SymbolRecord sym;
      QCOMPARE(zephyrim::symbol_load(lib, static_cast<int>(i), sym, notify), 1);
      // Texts of the symbol itself are left out: only lines and shapes must stay inside.
      std::erase_if(sym.draws, [](const zephyrim::DrawCommand& c) { return c.op == 'T'; });
      for (auto& p : sym.pins) p.pin_name.assign("");
      for (int scale = 1; scale <= 2; ++scale)
        for (int combo = 0; combo < 16; ++combo) {
          std::vector<int32_t> steps(combo & 3, 1);
          if (combo & 4) steps.push_back(5);
          if (combo & 8) steps.push_back(6);
          zephyrim::Placement at;
          at.scale = scale;
          at.steps = steps.data();
          at.step_count = static_cast<int>(steps.size());
          QImage image(256, 256, QImage::Format_RGB32);
          image.fill(Qt::white);
          {
            QPainter p(&image);
            p.translate(128, 128);
            zephyrim::draw_symbol(p, sym, at, Qt::black);
          }
          QRect box = zephyrim_region_box(sym.region, at);
          for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
              if (image.pixel(x, y) != qRgb(255, 255, 255)) {
                ++drawn;
                if (!box.contains(x, y))
                  QFAIL(qPrintable(QString("%1 combo %2 scale %3 paints at %4,%5")
                                       .arg(sym.name.str().c_str())
                                       .arg(combo)
                                       .arg(scale)
                                       .arg(x)
                                       .arg(y)));
              }
        }
    }
    QVERIFY(drawn > 0);
    fs::remove_all(dir);
  }

 private:
  // The oriented region in image pixels, widened by the pen.
  static QRect zephyrim_region_box(const zephyrim::Region& r, const zephyrim::Placement& at) {
    int x1 = 1 << 30, y1 = 1 << 30, x2 = -(1 << 30), y2 = -(1 << 30);
    for (int c = 0; c < 4; ++c) {
      int x = c & 1 ? r.x2 : r.x1, y = c & 2 ? r.y2 : r.y1;
      zephyrim::orient_point(x, y, at.scale, at.steps, at.step_count);
      x1 = std::min(x1, x), y1 = std::min(y1, y), x2 = std::max(x2, x), y2 = std::max(y2, y);
    }
    return QRect(QPoint(x1 + 128 - 2, y1 + 128 - 2), QPoint(x2 + 128 + 2, y2 + 128 + 2));
  }
};

QTEST_MAIN(SymbolPainterTest)
#include "symbol_painter_test.moc"
