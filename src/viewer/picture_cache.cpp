#include "viewer/picture_cache.h"

#include <QFile>
#include <QFileInfo>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "imaging/brotli_inflate.h"
#include "viewer/viewer_logic.h"

namespace viewer {

bool prefetchable(const QString& path)
{
    const imaging::PictureKind k = imaging::pictureKindFor(path);
    return k == imaging::PictureKind::Jpeg || k == imaging::PictureKind::Png || k == imaging::PictureKind::Bmp ||
           k == imaging::PictureKind::Gif;
}

std::shared_ptr<LoadedPicture> loadPicture(const PictureRequest& request, bool fullSize)
{
    auto out = std::make_shared<LoadedPicture>();
    const QFileInfo info(request.path);
    out->fileSize = info.size();
    out->modified = info.lastModified();
    QFile file(request.path);
    if (!file.open(QIODevice::ReadOnly)) {
        out->failed = true;
        return out;
    }
    {
        const QByteArray bytes = file.readAll();
        const imaging::PictureFormat* format = imaging::formatFor(request.path);
        imaging::DecodeRequest dr;
        if (!fullSize) {
            const QSize area = request.area;
            const bool prop = request.proportional, stretch = request.stretch;
            dr.drawnSize = [area, prop, stretch](QSize full) { return drawnSize(area, full, prop, stretch); };
        }
        dr.background = request.background;
        dr.flattenIcon = request.stretch;
        try {
            out->picture = imaging::decodePicture(request.path, bytes, dr);
            // The metadata reader walks a copy of what it needs; the file's
            // bytes go at the end of this block.
            if (format && format->exif != metadata::Container::None) {
                metadata::MemorySource source(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                              static_cast<size_t>(bytes.size()));
                out->exif = metadata::loadExif(source, format->exif, imaging::inflateBrotli);
            }
        } catch (...) {
            // Decoded ahead on the worker, a failure waits in the result
            // until the user reaches the picture; nothing may leave the
            // thread.
            out->failed = true;
        }
    }
#ifdef __GLIBC__
    // Hand the decoder's large scratch buffers back to the system at once.
    malloc_trim(0);
#endif
    return out;
}

PictureCache::PictureCache(qint64 capBytes) : cap_(capBytes), worker_([this] { workerLoop(); }) {}

PictureCache::~PictureCache()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        for (auto& t : queue_)
            t->promise.set_value(nullptr);
        queue_.clear();
    }
    wake_.notify_all();
    worker_.join();
}

void PictureCache::workerLoop()
{
    for (;;) {
        std::unique_ptr<Task> task;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_)
                return;
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task->promise.set_value(loadPicture(task->request));
    }
}

bool PictureCache::stillCurrent(const LoadedPicture& p, const QString& path)
{
    const QFileInfo info(path);
    return info.size() == p.fileSize && info.lastModified() == p.modified;
}

std::shared_ptr<LoadedPicture> PictureCache::take(const PictureRequest& request)
{
    auto it = slots_.find(request.path);
    if (it != slots_.end() && it->second.request.sameFit(request)) {
        std::shared_ptr<LoadedPicture> p = it->second.future.get();
        if (p && stillCurrent(*p, request.path)) {
            ++hits_;
            it->second.lastUse = ++clock_;
            return p;
        }
    }
    if (it != slots_.end())
        slots_.erase(it);
    std::shared_ptr<LoadedPicture> p = loadPicture(request);
    if (enabled_ && prefetchable(request.path)) {
        std::promise<std::shared_ptr<LoadedPicture>> ready;
        ready.set_value(p);
        slots_[request.path] = Slot{request, ready.get_future().share(), ++clock_};
        evict(request.path);
    }
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
    auto task = std::make_unique<Task>();
    task->request = request;
    Slot slot{request, task->promise.get_future().share(), ++clock_};
    slots_[request.path] = std::move(slot);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(task));
    }
    wake_.notify_one();
    evict(request.path);
}

void PictureCache::cancelQueued()
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& t : queue_) {
        slots_.erase(t->request.path);
        t->promise.set_value(nullptr);
    }
    queue_.clear();
}

void PictureCache::clear()
{
    cancelQueued();
    slots_.clear();
}

qint64 PictureCache::cachedBytes() const
{
    qint64 total = 0;
    for (const auto& [path, slot] : slots_) {
        if (slot.future.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            const auto p = slot.future.get();
            if (p)
                total += static_cast<qint64>(p->exif.byteCost()) + p->picture.byteCost();
        }
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
            if (it->second.future.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
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
