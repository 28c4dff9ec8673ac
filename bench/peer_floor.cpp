// What the machine allows a picture viewer: a full-screen window that holds
// every picture of a folder already decoded and fitted to the screen, and on
// Right (or space) paints the next, on End the last, with nothing else to do.
// The peer benchmark times it as it times the viewers; its advance and jump
// are the floor of the X path (the key's way to the window, one paint, the
// window's flush) that no viewer can go below. It loads all pictures before
// it shows its window, so its start and memory say nothing.
//
//   peer_floor PICTURE   (the other pictures of PICTURE's folder with it)
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>

namespace {

class FloorWindow : public QWidget {
public:
    FloorWindow(QList<QImage> pictures, qsizetype shown) : pictures_(std::move(pictures)), shown_(shown)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Right:
        case Qt::Key_Space:
            shown_ = (shown_ + 1) % pictures_.size();
            break;
        case Qt::Key_End:
            shown_ = pictures_.size() - 1;
            break;
        case Qt::Key_Escape:
            close();
            return;
        default:
            return;
        }
        repaint();
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        const QImage& picture = pictures_[shown_];
        painter.drawImage((width() - picture.width()) / 2, (height() - picture.height()) / 2, picture);
    }

private:
    QList<QImage> pictures_;
    qsizetype shown_;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QFileInfo first(QString::fromLocal8Bit(argv[1]));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    QList<QImage> pictures;
    qsizetype shown = 0;
    const QDir folder = first.dir();
    for (const QString& name : folder.entryList({"*.JPG", "*.jpg"}, QDir::Files, QDir::Name)) {
        QImageReader reader(folder.filePath(name));
        reader.setScaledSize(reader.size().scaled(screen, Qt::KeepAspectRatio));
        QImage picture = reader.read().convertToFormat(QImage::Format_RGB32);
        if (picture.isNull())
            continue;
        if (name == first.fileName())
            shown = pictures.size();
        pictures.append(std::move(picture));
    }
    if (pictures.isEmpty())
        return 1;
    FloorWindow window(std::move(pictures), shown);
    window.showFullScreen();
    return app.exec();
}
