// Takes a screenshot of one X window (or reads a picture) and says what it shows.
// Usage: window_shot WINDOW-ID|PICTURE.png OUT.png [RRGGBB [X Y WIDTH]]
// Prints "black=F colour=N colours=M" on stdout: the fraction of (nearly)
// black pixels, the number of pixels within a small distance of RRGGBB, and
// how many distinct colours (4 bits a channel) the window shows. With X Y
// WIDTH it adds "alternation=F": the fraction of neighbouring pixels along
// that row, from X on, that go from light to dark or back. Stripes one
// device pixel wide give 1, a page drawn at a lower scale and enlarged
// 0.5 or less.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSet>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: window_shot WINDOW-ID|PICTURE.png OUT.png [RRGGBB [X Y WIDTH]]\n");
    return 2;
  }
  // A picture someone else took (a compositor's screenshot) is read as is.
  const QString source = QString::fromLocal8Bit(argv[1]);
  if (source.endsWith(QStringLiteral(".png"))) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QImage image;
  if (source.endsWith(QStringLiteral(".png"))) {
    image = QImage(source);
  } else {
    bool ok = false;
    const WId window = source.toULongLong(&ok, 0);
    if (!ok || !app.primaryScreen()) return 2;
    image = app.primaryScreen()->grabWindow(window).toImage();
  }
  if (image.isNull() || !image.save(QString::fromLocal8Bit(argv[2]))) return 1;
  const QColor wanted = argc > 3 ? QColor(QStringLiteral("#") + QString::fromLatin1(argv[3])) : QColor();
  long black = 0, matching = 0;
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      colours.insert(pixel & 0xF0F0F0);
      black += qRed(pixel) < 16 && qGreen(pixel) < 16 && qBlue(pixel) < 16;
      // Anti-aliased text keeps its colour only in the middle of strokes.
      if (wanted.isValid())
        matching += std::abs(qRed(pixel) - wanted.red()) < 24 && std::abs(qGreen(pixel) - wanted.green()) < 24 &&
                    std::abs(qBlue(pixel) - wanted.blue()) < 24;
    }
  }
  const double total = static_cast<double>(image.width()) * image.height();
  std::printf("black=%.3f colour=%ld colours=%lld", total > 0 ? black / total : 1.0, matching,
              static_cast<long long>(colours.size()));
  if (argc > 6) {
    const int x0 = std::atoi(argv[4]), y = std::atoi(argv[5]), width = std::atoi(argv[6]);
    int changes = 0, pairs = 0;
    for (int x = x0; x + 1 < x0 + width && x + 1 < image.width() && y < image.height(); ++x, ++pairs)
      changes += std::abs(qGray(image.pixel(x, y)) - qGray(image.pixel(x + 1, y))) > 150;
    std::printf(" alternation=%.3f", pairs > 0 ? static_cast<double>(changes) / pairs : 0.0);
  }
  std::printf("\n");
  return 0;
}
