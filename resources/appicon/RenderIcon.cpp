// Renders the application icon's SVG drawing as PNGs of the sizes the desktop's icon
// theme and the window manager ask for:
//   qm_render_icon SVG OUTDIR SIZE...  writes OUTDIR/SIZExSIZE/apps/quillmere.png
// Qt's own SVG renderer keeps the build free of another drawing tool.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: qm_render_icon SVG OUTDIR SIZE...\n");
        return 2;
    }
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "qm_render_icon: %s is not a drawing Qt can read\n", argv[1]);
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "qm_render_icon: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        svg.render(&painter);
        painter.end();
        const QString dir = QString("%1/%2x%2/apps").arg(outDir).arg(size);
        if (!QDir().mkpath(dir) || !image.save(dir + "/quillmere.png", "PNG")) {
            std::fprintf(stderr, "qm_render_icon: cannot write %s/quillmere.png\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
