#pragma once
// Decoded pictures of the show, kept for the next advance. Neighbours are
// decoded ahead on a worker thread into a cache capped in bytes; asking for
// a picture whose decode is under way waits for it instead of decoding it
// twice. Only the calling (user-interface) thread touches the cache itself;
// the worker only reads files and decodes.
#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "imaging/picture_decoder.h"
#include "metadata/picture_reader.h"

namespace viewer {

// What a picture is decoded for: the drawing area and options decide the
// size of a reduced copy, the colour fills transparent parts.
struct PictureRequest {
    QString path;
    QSize area;
    bool proportional = true;
    bool stretch = false;
    QColor background;

    bool sameFit(const PictureRequest& o) const
    {
        return path == o.path && area == o.area && proportional == o.proportional && stretch == o.stretch &&
               background == o.background;
    }
};

struct LoadedPicture {
    // What the metadata reader walks, copied out of the file; the file's
    // bytes themselves are let go once decoded.
    metadata::ExifBlob exif;
    imaging::DecodedPicture picture;
    bool failed = false;
    qint64 fileSize = -1;
    QDateTime modified;
};

// Reads and decodes one file (any thread).
std::shared_ptr<LoadedPicture> loadPicture(const PictureRequest& request, bool fullSize = false);

class PictureCache {
public:
    explicit PictureCache(qint64 capBytes = 96ll * 1024 * 1024);
    ~PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // The picture for request: from the cache, from a decode under way, or
    // decoded now. A file changed since it was cached is decoded again.
    std::shared_ptr<LoadedPicture> take(const PictureRequest& request);
    // Queues a background decode unless the picture is cached or queued.
    // Earlier calls are decoded first.
    void prefetch(const PictureRequest& request);
    // Drops queued decodes that have not started.
    void cancelQueued();
    void clear();

    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    qint64 cachedBytes() const;
    int hits() const { return hits_; }

private:
    struct Slot {
        PictureRequest request;
        std::shared_future<std::shared_ptr<LoadedPicture>> future;
        uint64_t lastUse = 0;
    };
    struct Task {
        PictureRequest request;
        std::promise<std::shared_ptr<LoadedPicture>> promise;
    };
    void workerLoop();
    void evict(const QString& keep);
    static bool stillCurrent(const LoadedPicture& p, const QString& path);

    qint64 cap_;
    bool enabled_ = true;
    int hits_ = 0;
    uint64_t clock_ = 0;
    std::map<QString, Slot> slots_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::unique_ptr<Task>> queue_;
    bool stop_ = false;
    std::thread worker_;
};

// Only raster formats are decoded ahead; metafiles and icons draw through
// the user-interface thread's painting.
bool prefetchable(const QString& path);

}  // namespace viewer
