#include "viewer/picture_cache.h"

#include <QImage>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "imaging/brotli_inflate.h"
#include "imaging/exif_thumbnail.h"
#include "imaging/jpeg_dc_look.h"
#include "imaging/large_image.h"
#include "imaging/row_fitter.h"
#include "metadata/string_sink.h"
#include "platform/regular_file.h"
#include "viewer/viewer_logic.h"

namespace viewer {

bool prefetchable(const QString& path)
{
    // Every format decoded off the window's thread (metafiles and icons
    // are drawn by it).
    const imaging::PictureFormat* format = imaging::formatFor(path);
    return format && format->decodedAhead;
}

namespace {

// About 25 ms of decoding for the whole picture on one core.
constexpr qint64 kFirstLookMinPixels = 4'000'000;

// Decodes out.fileBytes and copies out what the metadata reader walks;
// throws as the decoders do.
void decodeInto(const PictureRequest& request, bool fullSize, LoadedPicture& out,
                const std::atomic<bool>* cancel = nullptr)
{
    imaging::DecodeRequest dr;
    dr.cancel = cancel;
    if (!fullSize) {
        const QSize area = request.area;
        const bool prop = request.proportional, stretch = request.stretch;
        dr.drawnSize = [area, prop, stretch](QSize full) { return drawnSize(area, full, prop, stretch); };
    }
    dr.background = request.background;
    dr.flattenIcon = request.stretch;
    const QByteArray bytes = std::exchange(out.fileBytes, QByteArray());
    out.picture = imaging::decodePicture(request.path, bytes, dr);
    // The metadata reader walks a copy of what it needs; the file's bytes
    // go with this call.
    const imaging::PictureFormat* format = imaging::formatFor(request.path);
    // (A part read from the file came with its Exif already.)
    if (format && format->exif != metadata::Container::None && out.exif.empty()) {
        metadata::MemorySource source(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                      static_cast<size_t>(bytes.size()));
        out.exif = metadata::loadExif(source, format->exif, imaging::inflateBrotli);
    }
}

void failed(LoadedPicture& out)
{
    out.picture = imaging::DecodedPicture();
    out.exif = metadata::ExifBlob();
    out.fileBytes = QByteArray();
    out.failed = true;
}

// Decodes the first look beside the picture and hands it over; joined
// before the load returns, so the progress it writes to outlives it.
class PreviewThread {
public:
    // thumbnailOnly: the bytes are the file's head, which holds the
    // camera's thumbnail but not the whole picture.
    PreviewThread(const PictureRequest& request, const QByteArray& bytes, LoadProgress& progress,
                  bool thumbnailOnly = false)
    {
        thread_ = std::thread([request, bytes, &progress, thumbnailOnly] {
            // The camera's thumbnail when it fits, at once; else the 1/8
            // scale, which reads every coefficient and comes not much
            // before the picture itself.
            for (FirstLook look : {FirstLook::Thumbnail, FirstLook::EighthScale}) {
                if (look == FirstLook::EighthScale && (progress.thumbnailOnly || thumbnailOnly))
                    break;
                imaging::DecodedPicture p = decodePreview(request, bytes, &progress.cancelled, look);
                if (p.isNull())
                    continue;
                {
                    std::lock_guard<std::mutex> lock(progress.previewMutex);
                    progress.preview = std::move(p);
                }
                progress.previewIn.store(true);
                if (progress.previewWake)
                    progress.previewWake();
                break;
            }
        });
    }
    ~PreviewThread() { join(); }
    void join()
    {
        if (thread_.joinable())
            thread_.join();
    }
    PreviewThread(const PreviewThread&) = delete;
    PreviewThread& operator=(const PreviewThread&) = delete;

private:
    std::thread thread_;
};

bool hasExifThumbnail(const QByteArray& bytes)
{
    metadata::MemorySource source(reinterpret_cast<const uchar*>(bytes.constData()), static_cast<size_t>(bytes.size()));
    return !metadata::jpegExifThumbnail(source).empty();
}

// Only a JPEG shown fitted gets a first look (decodePreview decides the
// rest once the bytes are in).
bool mayHaveFirstLook(const PictureRequest& request)
{
    return imaging::pictureKindFor(request.path) == imaging::PictureKind::Jpeg &&
           (request.proportional || request.stretch);
}

// Formats decoded ahead are decoded off the window's thread too.
bool decodedOffThread(const QString& path)
{
    const imaging::PictureFormat* format = imaging::formatFor(path);
    return format && format->decodedAhead;
}

}  // namespace

std::shared_ptr<LoadedPicture> loadPicture(const PictureRequest& request, bool fullSize, LoadProgress* progress,
                                           bool decode)
{
    auto out = std::make_shared<LoadedPicture>();
    // The bytes are all in (or none come) whichever way this ends.
    struct DoneReading {
        LoadProgress* p;
        ~DoneReading()
        {
            if (p)
                p->reading.store(false);
        }
    } doneReading{progress};
    try {
        if (imaging::pictureKindFor(request.path) == imaging::PictureKind::None)
            return out;  // no reader takes it: nothing to load
        platform::RegularFile file(request.path, imaging::maxFileBytes(request.path));
        if (!file.isOpen()) {
            out->failed = true;
            return out;
        }
        out->fileSize = file.size();
        out->modified = file.modified();
        // A raw file is read only as far as its preview and its Exif.
        const imaging::PictureFormat* format = imaging::formatFor(request.path);
        if (format && format->shownPart) {
            platform::RegularFileSource source(file);
            out->fileBytes = format->shownPart(source, format->exif);
            if (!out->fileBytes.isEmpty())
                out->exif = metadata::loadExif(source, format->exif, imaging::inflateBrotli);
        }
        const bool wantsLook = decode && progress && progress->wantPreview && !fullSize;
        // The camera's thumbnail lies in the file's first segments: its look
        // is made from them while the rest of the file is read, which for a
        // large picture is the longer part.
        std::unique_ptr<PreviewThread> early;
        if (wantsLook && out->fileBytes.isEmpty() && file.size() > metadata::kJpegMetadataHead &&
            imaging::pictureKindFor(request.path) == imaging::PictureKind::Jpeg) {
            QByteArray head(qsizetype(metadata::kJpegMetadataHead), Qt::Uninitialized);
            const qint64 n = file.readAt(0, head.data(), head.size());
            if (n > 0) {
                head.truncate(n);
                if (hasExifThumbnail(head))
                    early = std::make_unique<PreviewThread>(request, head, *progress, true);
            }
        }
        if (out->fileBytes.isEmpty() && !file.readAll(out->fileBytes, -1, progress ? &progress->bytes : nullptr)) {
            out->failed = true;
            return out;
        }
        if (early)
            early->join();
        if (progress)
            progress->reading.store(false);
        if (progress && progress->cancelled.load()) {
            failed(*out);
            return out;
        }
        if (decode) {
            std::unique_ptr<PreviewThread> preview;
            if (wantsLook && !progress->previewIn.load()) {
                preview = std::make_unique<PreviewThread>(request, out->fileBytes, *progress);
                // Without the camera's thumbnail the look is walked on both
                // cores, which the picture's decode leaves to it.
                if (!hasExifThumbnail(out->fileBytes) &&
                    imaging::jpegDcLookWalksTwice(reinterpret_cast<const uchar*>(out->fileBytes.constData()),
                                               static_cast<size_t>(out->fileBytes.size())))
                    preview->join();
            }
            decodeInto(request, fullSize, *out, progress ? &progress->cancelled : nullptr);
        }
    } catch (...) {
        // Decoded ahead on a thread, a failure (bad data, or memory that
        // could not be had) waits in the result until the user reaches the
        // picture; nothing may leave the thread.
        failed(*out);
    }
#ifdef __GLIBC__
    // Hand the decoder's large scratch buffers back to the system at once.
    if (decode)
        malloc_trim(0);
#endif
    return out;
}

namespace {

// Turns a first look as the viewer turns the picture once its Exif is read.
void turnAsExifSays(imaging::DecodedPicture& p, const uchar* data, size_t size)
{
    metadata::MemorySource source(data, size);
    const metadata::ExifBlob exif = metadata::loadExif(source, metadata::Container::Jpeg);
    if (exif.empty())
        return;
    metadata::StringSink sink;
    try {
        metadata::ExifBlobRead(exif, sink, {});
    } catch (...) {
    }
    if (sink.orientation == 6 || sink.orientation == 8) {
        p.image = imaging::RotateBitmap90(imaging::Bitmap::fromImage(p.image), sink.orientation / 2 - 2).toImage();
        p.fullSize = p.fullSize.transposed();
    }
}

// The camera's Exif thumbnail, when it shows the picture at its shape.
imaging::DecodedPicture thumbnailLook(const uchar* data, size_t size, QSize full)
{
    metadata::MemorySource source(data, size);
    const metadata::Extent at = metadata::jpegExifThumbnail(source);
    if (at.empty())
        return {};
    imaging::JpegInfo info;
    const QImage thumbnail =
        imaging::decodeJpeg(data + at.offset, static_cast<size_t>(at.size), {}, &info);
    imaging::DecodedPicture p;
    p.image = imaging::thumbnailAtAspect(thumbnail, full);
    if (p.image.isNull())
        return {};
    p.kind = imaging::PictureKind::Jpeg;
    p.fullSize = full;
    p.reduced = true;
    return p;
}

}  // namespace

imaging::DecodedPicture decodePreview(const PictureRequest& request, const QByteArray& bytes,
                                      const std::atomic<bool>* cancel, FirstLook look)
{
    if (imaging::pictureKindFor(request.path) != imaging::PictureKind::Jpeg ||
        (!request.proportional && !request.stretch))
        return {};
    try {
        const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
        const size_t size = static_cast<size_t>(bytes.size());
        const QSize full = imaging::jpegPictureSize(data, size);
        if (!full.isValid())
            return {};
        const QSize area = request.area;
        const bool prop = request.proportional, stretch = request.stretch;
        // Worth it only for a large picture (a small one decodes whole about
        // as quickly) that is itself decoded at a finer scale.
        const int scale = imaging::jpegScaleFor(full, drawnSize(area, full, prop, stretch));
        if (qint64(full.width()) * full.height() < kFirstLookMinPixels || scale >= 8)
            return {};
        imaging::DecodedPicture p;
        if (look == FirstLook::Thumbnail) {
            p = thumbnailLook(data, size, full);
        } else {
            // The blocks' mean values where the file allows, else libjpeg at
            // its 1/8 scale. Beside a decode at 1/4, which reads the file no
            // slower than one walk does, only a look walked twice is sooner.
            if (scale >= 4 && !imaging::jpegDcLookWalksTwice(data, size))
                return {};
            p.image = imaging::jpegDcLook(data, size, cancel);
            if (!p.image.isNull()) {
                p.kind = imaging::PictureKind::Jpeg;
                p.fullSize = full;
                p.reduced = true;
                p.scaleDenom = 8;
            } else {
                if (cancel && cancel->load())
                    return {};
                imaging::DecodeRequest dr;
                dr.drawnSize = [area, prop, stretch](QSize f) { return drawnSize(area, f, prop, stretch); };
                dr.jpegScaleDenom = 8;
                dr.cancel = cancel;
                p = imaging::decodePicture(request.path, bytes, dr);
            }
        }
        if (p.isNull())
            return p;
        turnAsExifSays(p, data, size);
        if (p.image.size() != drawnSize(area, p.fullSize, prop, stretch)) {
            // Brought to the drawn size here, off the window's thread, by
            // bilinear blends of rows: the lower half of the rows on a second
            // thread.
            const QSize drawn = drawnSize(area, p.fullSize, prop, stretch);
            if (drawn.isEmpty())
                return {};
            QImage fitted = imaging::largeImage(drawn);
            if (fitted.isNull())
                return {};
            const QImage source =
                p.image.format() == QImage::Format_RGB32 ? p.image : p.image.convertToFormat(QImage::Format_RGB32);
            if (source.isNull())
                return {};
            // Both made here: the threads write the picture's rows and never
            // touch the QImage itself.
            const int half = drawn.height() / 2;
            imaging::RowFitter upper(source.size(), &fitted, 0, half), lower(source.size(), &fitted, half, -1);
            const auto fitRows = [&source](imaging::RowFitter& fitter) {
                // Each source row is read one pixel past its end (with a
                // weight of nought): the last row from a copy.
                const int last = source.height() - 1, first = fitter.firstSourceRow();
                if (first < last)
                    fitter.addRows(first, last - first, reinterpret_cast<const uint32_t*>(source.constScanLine(first)),
                                   static_cast<int>(source.bytesPerLine() / 4));
                std::vector<uint32_t> row(static_cast<size_t>(fitter.padded()), 0);
                std::memcpy(row.data(), source.constScanLine(last), static_cast<size_t>(source.width()) * 4);
                fitter.addRows(last, 1, row.data(), 0);
            };
            if (half > 0) {
                std::thread below(fitRows, std::ref(lower));
                fitRows(upper);
                below.join();
            } else {
                fitRows(lower);
            }
            p.image = std::move(fitted);
        }
        return p;
    } catch (...) {
        return {};
    }
}

void decodeLoaded(const PictureRequest& request, bool fullSize, LoadedPicture& loaded)
{
    if (loaded.failed)
        return;
    try {
        decodeInto(request, fullSize, loaded);
    } catch (...) {
        failed(loaded);
    }
}

// One load: queued for the worker, or running on a thread.
struct PictureCache::Job {
    PictureRequest request;
    bool fullSize = false;
    bool decode = true;  // else only the bytes are read
    LoadProgress progress;
    std::mutex mutex;
    std::condition_variable done;
    bool started = false;
    bool onWorker = false;
    bool finished = false;
    std::shared_ptr<LoadedPicture> result;

    Job()
    {
        progress.previewWake = [this] {
            // Taken and let go, so a waiter between its check and its wait
            // is not passed by.
            { std::lock_guard<std::mutex> lock(mutex); }
            done.notify_all();
        };
    }

    void run(const Loader& loader)
    {
        std::shared_ptr<LoadedPicture> r;
        try {
            r = loader(request, fullSize, &progress, decode);
        } catch (...) {
            r = nullptr;
        }
        if (!r) {
            try {
                r = std::make_shared<LoadedPicture>();
                r->failed = true;
            } catch (...) {
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            result = std::move(r);
            finished = true;
        }
        done.notify_all();
    }
};

// The prefetch thread and its queue. It outlives the cache when a read it
// runs never returns: the thread then ends whenever the read does.
struct PictureCache::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;  // busy has become false
    std::deque<std::shared_ptr<Job>> queue;
    // Pictures no longer kept: their memory is given back here, not on the
    // window's thread between a key and its paint.
    std::vector<std::shared_ptr<Job>> retired;
    bool stop = false;
    bool busy = false;
    std::shared_ptr<Job> current;  // the job running, under mutex
    std::thread thread;

    static void loop(const std::shared_ptr<Worker>& self, const Loader& loader)
    {
        for (;;) {
            std::shared_ptr<Job> job;
            std::vector<std::shared_ptr<Job>> released;
            {
                std::unique_lock<std::mutex> lock(self->mutex);
                self->wake.wait(lock,
                                [&] { return self->stop || !self->queue.empty() || !self->retired.empty(); });
                if (self->stop)
                    break;
                released.swap(self->retired);
                if (self->queue.empty()) {
                    lock.unlock();
                    released.clear();
                    continue;
                }
                job = std::move(self->queue.front());
                self->queue.pop_front();
                self->busy = true;
                self->current = job;
                std::lock_guard<std::mutex> jobLock(job->mutex);
                job->started = true;
                job->onWorker = true;
            }
            released.clear();
            job->run(loader);
            std::lock_guard<std::mutex> lock(self->mutex);
            self->busy = false;
            self->current.reset();
            self->idle.notify_all();
        }
    }

    static std::shared_ptr<Worker> start(const Loader& loader)
    {
        auto w = std::make_shared<Worker>();
        w->thread = std::thread([w, loader] { loop(w, loader); });
        return w;
    }

    // Stops the thread. A decode under way is told to stop and waited for a
    // moment: left running, it would go on using the image library's
    // threads while the program takes them down. Only a read that does not
    // return is left behind.
    // waitForRead: also a job still reading is waited for (the cache is
    // taken down); else one may be stuck in the read and is let go at once.
    void finish(bool waitForRead = false)
    {
        std::unique_lock<std::mutex> lock(mutex);
        stop = true;
        queue.clear();
        const bool wait = current && (waitForRead || !current->progress.reading.load());
        if (current)
            current->progress.cancelled.store(true);
        wake.notify_all();
        const bool stopped =
            !busy || (wait && idle.wait_for(lock, std::chrono::seconds(5), [this] { return !busy; }));
        lock.unlock();
        if (stopped)
            thread.join();
        else
            thread.detach();
    }
};

void returnLargeBuffersAtOnce()
{
#ifdef __GLIBC__
    // File bytes and decoded pictures are megabytes each and come and go
    // with every picture. glibc raises its mmap threshold to the largest
    // block freed (up to 32 MB), after which such blocks come from the heap
    // and a freed one stays resident until the heap is trimmed: a show of
    // 24-megapixel pictures then holds some 25 MB more than its pictures.
    // A fixed threshold keeps every such block a mapping of its own, given
    // back the moment it is freed.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}

PictureCache::PictureCache(qint64 capBytes, Loader loader)
    : cap_(capBytes),
      loader_(loader ? std::move(loader)
                     : Loader([](const PictureRequest& r, bool full, LoadProgress* p, bool decode) {
                           return loadPicture(r, full, p, decode);
                       })),
      worker_(Worker::start(loader_))
{
    returnLargeBuffersAtOnce();
}

PictureCache::~PictureCache()
{
    slots_.clear();
    worker_->finish(true);
}

void PictureCache::runAlone(const std::shared_ptr<Job>& job)
{
    {
        std::lock_guard<std::mutex> lock(job->mutex);
        job->started = true;
    }
    // A thread of its own, let go at once: if the read never returns, the
    // thread (holding the job) ends when it does, and nothing waits for it.
    std::thread([job, loader = loader_] { job->run(loader); }).detach();
}

bool PictureCache::unqueue(const std::shared_ptr<Job>& job)
{
    std::lock_guard<std::mutex> lock(worker_->mutex);
    for (auto it = worker_->queue.begin(); it != worker_->queue.end(); ++it) {
        if (*it == job) {
            worker_->queue.erase(it);
            return true;
        }
    }
    return false;
}

void PictureCache::replaceWorker()
{
    // The old thread is stuck in a read: the queue goes to a new one.
    std::deque<std::shared_ptr<Job>> pending;
    {
        std::lock_guard<std::mutex> lock(worker_->mutex);
        pending.swap(worker_->queue);
    }
    worker_->finish();
    worker_ = Worker::start(loader_);
    {
        std::lock_guard<std::mutex> lock(worker_->mutex);
        worker_->queue = std::move(pending);
    }
    worker_->wake.notify_one();
}

std::shared_ptr<LoadedPicture> PictureCache::await(const std::shared_ptr<Job>& job, const PreviewSink& preview)
{
    using Clock = std::chrono::steady_clock;
    stalled_ = false;
    qint64 lastBytes = -1;
    Clock::time_point lastChange = Clock::now();
    bool previewDue = preview && previewEnabled_ && job->progress.wantPreview;
    for (;;) {
        {
            // A first look wakes the wait as it comes in.
            const auto tick = std::chrono::milliseconds(10);
            std::unique_lock<std::mutex> lock(job->mutex);
            job->done.wait_for(lock, tick,
                               [&] { return job->finished || (previewDue && job->progress.previewIn.load()); });
            if (job->finished)
                return job->result;
        }
        if (previewDue) {
            imaging::DecodedPicture p;
            {
                std::lock_guard<std::mutex> lock(job->progress.previewMutex);
                p = std::move(job->progress.preview);
                job->progress.preview = imaging::DecodedPicture();
            }
            if (!p.isNull()) {
                previewDue = false;
                preview(p);
            }
        }
        if (pump_ && !pump_())
            return nullptr;
        const qint64 bytes = job->progress.bytes.load();
        const Clock::time_point now = Clock::now();
        bool started = false;
        {
            std::lock_guard<std::mutex> lock(job->mutex);
            started = job->started;
        }
        // Waiting in the queue, or decoding bytes already in, is no stall.
        if (!started || !job->progress.reading.load() || bytes != lastBytes) {
            lastBytes = bytes;
            lastChange = now;
        } else if (now - lastChange > std::chrono::milliseconds(stallLimitMs_)) {
            ++abandoned_;
            stalled_ = true;
            return nullptr;
        }
    }
}

std::shared_ptr<LoadedPicture> PictureCache::take(const PictureRequest& request, const PreviewSink& preview)
{
    auto it = slots_.find(request.path);
    if (it != slots_.end() && it->second.request.sameFit(request)) {
        // Copies: the cache may change while events run during the wait.
        const std::shared_ptr<Job> job = it->second.job;
        if (unqueue(job)) {
            job->progress.wantPreview = previewEnabled_ && preview && mayHaveFirstLook(request);
            runAlone(job);
        }
        std::shared_ptr<LoadedPicture> p = await(job, preview);
        if (!p) {
            giveUp(job);
            const auto again = slots_.find(request.path);
            if (again != slots_.end() && again->second.job == job)
                slots_.erase(again);
            // The prefetch thread may be the one stuck; later pictures must
            // not queue behind it.
            bool onWorker = false;
            {
                std::lock_guard<std::mutex> lock(job->mutex);
                onWorker = job->onWorker && !job->finished;
            }
            if (stalled_ && onWorker)
                replaceWorker();
            return nullptr;
        }
        if (stillCurrent(*p, request.path)) {
            ++hits_;
            const auto again = slots_.find(request.path);
            if (again != slots_.end() && again->second.job == job)
                again->second.lastUse = ++clock_;
            return p;
        }
    }
    if (const auto again = slots_.find(request.path); again != slots_.end())
        slots_.erase(again);
    std::shared_ptr<Job> job;
    std::shared_ptr<LoadedPicture> p = loadAlone(request, false, &job, preview);
    if (!p)
        return nullptr;
    if (enabled_ && prefetchable(request.path)) {
        slots_[request.path] = Slot{request, job, ++clock_};
        evict(request.path);
    }
    return p;
}

std::shared_ptr<LoadedPicture> PictureCache::loadNow(const PictureRequest& request, bool fullSize)
{
    return loadAlone(request, fullSize, nullptr);
}

std::shared_ptr<LoadedPicture> PictureCache::loadAlone(const PictureRequest& request, bool fullSize,
                                                        std::shared_ptr<Job>* made, const PreviewSink& preview)
{
    auto job = std::make_shared<Job>();
    job->request = request;
    job->fullSize = fullSize;
    job->decode = decodedOffThread(request.path);
    job->progress.wantPreview = previewEnabled_ && preview && !fullSize && mayHaveFirstLook(request);
    if (made)
        *made = job;
    runAlone(job);
    std::shared_ptr<LoadedPicture> p = await(job, preview);
    if (!p)
        giveUp(job);
    if (p && !job->decode)
        decodeLoaded(request, fullSize, *p);
    return p;
}

void PictureCache::prefetch(const PictureRequest& request)
{
    if (!enabled_ || !prefetchable(request.path))
        return;
    auto it = slots_.find(request.path);
    if (it != slots_.end() && it->second.request.sameFit(request)) {
        it->second.lastUse = ++clock_;
        return;
    }
    auto job = std::make_shared<Job>();
    job->request = request;
    slots_[request.path] = Slot{request, job, ++clock_};
    {
        std::lock_guard<std::mutex> lock(worker_->mutex);
        worker_->queue.push_back(job);
    }
    worker_->wake.notify_one();
    evict(request.path);
}

PictureCache::EarlyLoad PictureCache::startEarly(const PictureRequest& request, Loader loader)
{
    if (!prefetchable(request.path))
        return nullptr;
    auto job = std::make_shared<Job>();
    job->request = request;
    job->started = true;
    // The camera's thumbnail is painted as soon as the viewer is up, while
    // the picture is still being decoded.
    job->progress.wantPreview = mayHaveFirstLook(request);
    job->progress.thumbnailOnly = true;
    // Let go like any other load on a thread of its own: a file that never
    // answers holds neither the start nor the end of the run.
    if (!loader)
        loader = [](const PictureRequest& r, bool full, LoadProgress* p, bool decode) {
            return loadPicture(r, full, p, decode);
        };
    std::thread([job, loader] { job->run(loader); }).detach();
    return job;
}

void PictureCache::adopt(const EarlyLoad& load)
{
    if (!load || !enabled_)
        return;
    slots_[load->request.path] = Slot{load->request, load, ++clock_};
}

void PictureCache::cancelQueued()
{
    std::deque<std::shared_ptr<Job>> dropped;
    {
        std::lock_guard<std::mutex> lock(worker_->mutex);
        dropped.swap(worker_->queue);
    }
    for (const auto& job : dropped) {
        const auto it = slots_.find(job->request.path);
        if (it != slots_.end() && it->second.job == job)
            slots_.erase(it);
    }
}

void PictureCache::setLoader(Loader loader)
{
    loader_ = std::move(loader);
    replaceWorker();
}

void PictureCache::giveUp(const std::shared_ptr<Job>& job)
{
    // Nobody waits for it any more: it stops at its next check.
    job->progress.cancelled.store(true);
    ++cancelled_;
}

void PictureCache::keepOnly(const QStringList& paths)
{
    for (auto it = slots_.begin(); it != slots_.end();) {
        if (paths.contains(it->first)) {
            ++it;
            continue;
        }
        bool finished = false;
        {
            std::lock_guard<std::mutex> lock(it->second.job->mutex);
            finished = it->second.job->finished;
        }
        if (!finished && !unqueue(it->second.job)) {
            giveUp(it->second.job);
        } else if (finished) {
            // An idle worker gives the memory back at once; a busy one
            // would hold it until its picture is done.
            std::lock_guard<std::mutex> lock(worker_->mutex);
            if (!worker_->busy && !worker_->stop) {
                worker_->retired.push_back(std::move(it->second.job));
                worker_->wake.notify_one();
            }
        }
        it = slots_.erase(it);
    }
}

void PictureCache::cancelAhead(const QString& except)
{
    std::deque<std::shared_ptr<Job>> kept, dropped;
    std::shared_ptr<Job> running;
    {
        std::lock_guard<std::mutex> lock(worker_->mutex);
        for (auto& job : worker_->queue)
            (job->request.path == except ? kept : dropped).push_back(std::move(job));
        worker_->queue.swap(kept);
        running = worker_->current;
    }
    for (const auto& job : dropped) {
        const auto it = slots_.find(job->request.path);
        if (it != slots_.end() && it->second.job == job)
            slots_.erase(it);
    }
    if (!running || running->request.path == except)
        return;
    {
        std::lock_guard<std::mutex> lock(running->mutex);
        if (running->finished)
            return;
    }
    // Its result would be a failure: it leaves the cache with the decode.
    const auto it = slots_.find(running->request.path);
    if (it != slots_.end() && it->second.job == running)
        slots_.erase(it);
    giveUp(running);
}

void PictureCache::clear()
{
    cancelQueued();
    slots_.clear();
}

bool PictureCache::stillCurrent(const LoadedPicture& p, const QString& path)
{
    const platform::FileFacts facts = platform::lookUpFile(path);
    return facts.regular && facts.size == p.fileSize && facts.modified == p.modified;
}

qint64 PictureCache::cachedBytes() const
{
    qint64 total = 0;
    for (const auto& [path, slot] : slots_) {
        std::lock_guard<std::mutex> lock(slot.job->mutex);
        if (slot.job->finished && slot.job->result)
            total += static_cast<qint64>(slot.job->result->exif.byteCost()) + slot.job->result->fileBytes.size() +
                     slot.job->result->picture.byteCost();
    }
    return total;
}

void PictureCache::evict(const QString& keep)
{
    // Least recently used first; pictures still decoding stay.
    while (cachedBytes() > cap_) {
        auto victim = slots_.end();
        for (auto it = slots_.begin(); it != slots_.end(); ++it) {
            if (it->first == keep)
                continue;
            bool finished = false;
            {
                std::lock_guard<std::mutex> lock(it->second.job->mutex);
                finished = it->second.job->finished;
            }
            if (!finished)
                continue;
            if (victim == slots_.end() || it->second.lastUse < victim->second.lastUse)
                victim = it;
        }
        if (victim == slots_.end())
            return;
        slots_.erase(victim);
    }
}

}  // namespace viewer
