#include "manage/ThumbnailCache.h"

#include "imaging/CxImage.h"
#include "imaging/DrawScaled.h"
#include "imaging/JpegThumbnail.h"
#include "manage/PictureLoading.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace qelvo {
namespace {

bool fileStamp(const std::string& path, std::int64_t& size, std::int64_t& modifiedNs) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    size = static_cast<std::int64_t>(info.st_size);
    modifiedNs = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

}  // namespace

QImage ThumbnailCache::decodeScaled(const std::string& path, const QSize& size) {
    if (size.isEmpty()) return {};
    ThumbnailPixels pixels;
    QImage picture;
    if (decodeJpegThumbnail(path.c_str(), size.width(), size.height(), pixels)) {
        picture = QImage(pixels.rgb.data(), pixels.width, pixels.height, pixels.width * 3,
                         QImage::Format_RGB888)
                      .copy();
    } else {
        // Pictures the scaled decoder refuses (CMYK, say) may still load in full.
        CxImage full;
        if (!loadPicture(path, full, nullptr)) return {};
        picture = ToQImage(full);
    }
    if (picture.isNull()) return {};
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

const QImage* ThumbnailCache::find(const std::string& path, std::int64_t fileSize,
                                   std::int64_t modifiedNs, const QSize& size) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path != path || it->size != size) continue;
        if (it->fileSize == fileSize && it->modifiedNs == modifiedNs) {
            entries_.splice(entries_.begin(), entries_, it);
            return &entries_.front().image;
        }
        entries_.erase(it);  // the file changed since
        return nullptr;
    }
    return nullptr;
}

void ThumbnailCache::insert(const std::string& path, std::int64_t fileSize, std::int64_t modifiedNs,
                            const QSize& size, QImage image) {
    entries_.push_front({path, fileSize, modifiedNs, size, std::move(image)});
    if (entries_.size() > kCapacity) entries_.pop_back();
}

QImage ThumbnailCache::scaled(const std::string& path, const QSize& size) {
    std::int64_t fileSize = 0, modified = 0;
    if (!fileStamp(path, fileSize, modified)) return {};
    if (const QImage* cached = find(path, fileSize, modified, size)) return *cached;
    ++decodes_;
    QImage image = decodeScaled(path, size);
    insert(path, fileSize, modified, size, image);
    return image;
}

void ThumbnailCache::prefetch(const std::vector<std::string>& paths, const QSize& size) {
    struct Job {
        std::string path;
        std::int64_t fileSize = 0;
        std::int64_t modifiedNs = 0;
        QImage image;
    };
    std::vector<Job> jobs;
    for (const std::string& path : paths) {
        Job job;
        job.path = path;
        if (path.empty() || !fileStamp(path, job.fileSize, job.modifiedNs)) continue;
        if (find(path, job.fileSize, job.modifiedNs, size)) continue;
        jobs.push_back(std::move(job));
    }
    if (jobs.empty()) return;

    // Each job is written by exactly one thread; the threads are joined before the GUI
    // thread reads the results.
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i = next++; i < jobs.size(); i = next++)
            jobs[i].image = decodeScaled(jobs[i].path, size);
    };
    const std::size_t helpers =
        std::min<std::size_t>(jobs.size(), std::max(1u, std::thread::hardware_concurrency())) - 1;
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < helpers; ++t) threads.emplace_back(work);
    work();
    for (std::thread& thread : threads) thread.join();

    for (Job& job : jobs) {
        ++decodes_;
        insert(job.path, job.fileSize, job.modifiedNs, size, std::move(job.image));
    }
}

}  // namespace qelvo
