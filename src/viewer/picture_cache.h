#pragma once
// Decoded pictures of the show, kept for the next advance. Neighbours are
// decoded ahead on a worker thread into a cache capped in bytes; asking for
// a picture whose decode is under way waits for it instead of decoding it
// twice, and a picture not yet under way is read on a thread of its own, so
// a file that never answers cannot hold the window. Only the calling
// (user-interface) thread touches the cache itself; the threads only read
// files and decode.
#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

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
    // The file, read but not yet decoded (formats decoded on the window's
    // thread); empty once decoded.
    QByteArray fileBytes;
    imaging::DecodedPicture picture;
    bool failed = false;
    qint64 fileSize = -1;
    QDateTime modified;
};

// How far a load has come, for whoever waits for it.
struct LoadProgress {
    std::atomic<qint64> bytes{0};
    std::atomic<bool> reading{true};  // false once the bytes are all in
    // Set by the waiter that gave the picture up: the load stops at its
    // next check (a JPEG decode within a row) and comes back failed.
    std::atomic<bool> cancelled{false};
    // Set before the load starts: a JPEG's Exif thumbnail and its 1/8
    // scale are decoded beside the picture and from the same bytes, so
    // first looks can be painted long before the picture itself is ready.
    bool wantPreview = false;
    // Only the Exif thumbnail: a start decodes its picture beside the
    // windows being built, and a 1/8 decode would take a core from both.
    bool thumbnailOnly = false;
    std::mutex previewMutex;
    imaging::DecodedPicture preview;  // under previewMutex; empty until ready
    // Set once a first look is in; previewWake (when set) then tells the
    // waiter at once.
    std::atomic<bool> previewIn{false};
    std::function<void()> previewWake;
};

// The quick first looks at a JPEG, turned as the Exif orientation says, as
// the picture will be: the camera's Exif thumbnail when it shows the
// picture at its shape (its bars cut off), and the picture at 1/8 scale
// fitted to the drawn size. Empty when the request asks for no reduction
// worth a first look, when there is no such thumbnail, or on any failure.
enum class FirstLook { Thumbnail, EighthScale };
imaging::DecodedPicture decodePreview(const PictureRequest& request, const QByteArray& bytes,
                                      const std::atomic<bool>* cancel = nullptr,
                                      FirstLook look = FirstLook::EighthScale);

// Reads and decodes one file (any thread): a regular file no larger than
// its format's cap, read through the descriptor it was checked on. Every
// failure, running out of memory included, comes back as failed. Without
// decode only the bytes are read (decodeLoaded then finishes it).
std::shared_ptr<LoadedPicture> loadPicture(const PictureRequest& request, bool fullSize = false,
                                           LoadProgress* progress = nullptr, bool decode = true);
// Decodes the bytes read by loadPicture(..., decode = false).
void decodeLoaded(const PictureRequest& request, bool fullSize, LoadedPicture& loaded);

class PictureCache {
public:
    using Loader = std::function<std::shared_ptr<LoadedPicture>(const PictureRequest&, bool fullSize,
                                                                LoadProgress* progress, bool decode)>;
    // loader: how a file is read and decoded (loadPicture unless given).
    explicit PictureCache(qint64 capBytes = 96ll * 1024 * 1024, Loader loader = {});
    ~PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // Shown while the picture is decoded (on the calling thread, during
    // the wait).
    using PreviewSink = std::function<void(const imaging::DecodedPicture& preview)>;

    // The picture for request: from the cache, from a decode under way, or
    // decoded now. A file changed since it was cached is decoded again.
    // Null when the wait was given up (see below). A JPEG decoded now hands
    // its 1/8-scale first look to preview as soon as it is ready.
    std::shared_ptr<LoadedPicture> take(const PictureRequest& request, const PreviewSink& preview = {});
    // The picture decoded now, past the cache (the full-size copy printing
    // wants); null when the wait was given up.
    std::shared_ptr<LoadedPicture> loadNow(const PictureRequest& request, bool fullSize);
    // Queues a background decode unless the picture is cached or queued.
    // Earlier calls are decoded first.
    void prefetch(const PictureRequest& request);
    // Drops queued decodes that have not started.
    void cancelQueued();
    // Lets go of every picture but these (the one on screen and its two
    // neighbours): an older one would be kept only for a jump back to it.
    // Decodes under way for others are told to stop.
    void keepOnly(const QStringList& paths);
    // Drops every decode ahead but except's, the one running on the worker
    // included (a jump leaves the neighbours behind; their decodes would
    // only hold a core the picture jumped to needs).
    void cancelAhead(const QString& except = {});
    void clear();

    // The calling thread never waits for a read unbounded: every few
    // milliseconds of waiting it runs pump (the viewer handles its events
    // there), and gives the picture up when pump returns false or when the
    // file has brought no byte for stallLimitMs (a network or FUSE folder
    // that stopped answering). The read itself is left to end when it may;
    // its result is ignored.
    void setWaitPump(std::function<bool()> pump) { pump_ = std::move(pump); }
    void setStallLimit(int ms) { stallLimitMs_ = ms; }
    int abandoned() const { return abandoned_; }
    // Loads given up (by the pump or cancelAhead) and told to stop.
    int cancelled() const { return cancelled_; }
    void setPreviewEnabled(bool on) { previewEnabled_ = on; }

    // Another way to read and decode from now on (tests slow a decode
    // down with it); the decodes ahead start again on a new worker.
    void setLoader(Loader loader);

    // A load started before any cache exists: the picture named at start,
    // read and decoded on a thread of its own while the windows are built.
    // Null for a path no raster reader decodes ahead.
    struct Job;
    using EarlyLoad = std::shared_ptr<Job>;
    static EarlyLoad startEarly(const PictureRequest& request, Loader loader = {});
    // take() of the same fit waits for that load instead of starting another.
    void adopt(const EarlyLoad& load);

    void setEnabled(bool on) { enabled_ = on; }
    bool enabled() const { return enabled_; }
    qint64 cachedBytes() const;
    int hits() const { return hits_; }

private:
    struct Worker;
    struct Slot {
        PictureRequest request;
        std::shared_ptr<Job> job;
        uint64_t lastUse = 0;
    };
    std::shared_ptr<LoadedPicture> await(const std::shared_ptr<Job>& job, const PreviewSink& preview = {});
    std::shared_ptr<LoadedPicture> loadAlone(const PictureRequest& request, bool fullSize, std::shared_ptr<Job>* made,
                                             const PreviewSink& preview = {});
    void runAlone(const std::shared_ptr<Job>& job);
    void giveUp(const std::shared_ptr<Job>& job);
    bool unqueue(const std::shared_ptr<Job>& job);
    void replaceWorker();
    void evict(const QString& keep);
    static bool stillCurrent(const LoadedPicture& p, const QString& path);

    qint64 cap_;
    Loader loader_;
    bool enabled_ = true;
    int hits_ = 0;
    int abandoned_ = 0;
    int cancelled_ = 0;
    bool previewEnabled_ = true;
    bool stalled_ = false;  // the last wait gave up on a read
    int stallLimitMs_ = 10000;
    uint64_t clock_ = 0;
    std::function<bool()> pump_;
    std::map<QString, Slot> slots_;
    std::shared_ptr<Worker> worker_;
};

// Makes every large allocation a mapping of its own, returned to the
// system when freed (the cache does so when made).
void returnLargeBuffersAtOnce();

// Only raster formats are decoded ahead (and off the window's thread);
// metafiles and icons draw through the user-interface thread's painting, so
// only their bytes are read elsewhere.
bool prefetchable(const QString& path);

}  // namespace viewer
