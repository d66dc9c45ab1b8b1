#include "export/transcoder.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "export/bounded_queue.h"

#include "export/export_progress.h"
#include "export/frame_reframer.h"
#include "export/overlay_records.h"
#include "export/overlay_renderer.h"
#include "export/yuv_frame_pool.h"
#include "platform/atomic_file.h"
#include "platform/failure_texts.h"
#include "platform/texts/export_texts.h"
#include "platform/uuid.h"

namespace tamo {
namespace {

// The expected frame rate handed to the encoder: the source's nominal rate when it is sensible.
AVRational expectedRate(AVRational r) {
    if (r.num > 0 && r.den > 0) {
        double fps = av_q2d(r);
        if (fps >= 0.01 && fps <= 1000) return r;
    }
    return {30, 1};
}

}  // namespace

std::filesystem::path temporaryVideoPath(const std::filesystem::path& output) {
    return output.parent_path() / ("_temp_video_" + newUuidText() + ".mp4");
}

Outcome<std::unique_ptr<PreparedExport>> prepareExport(const ExportInputs& in) {
    auto job = std::make_unique<PreparedExport>();
    SourceInfo info;
    job->reader = VideoReader::openSource(in.videoURL.string(), info);
    if (!job->reader || info.streamIndex < 0) return fail(texts::exporting::kNoVideoTrack);
    job->plan = planFrame(info.displayWidth, info.displayHeight, in.params.cropPreset, in.params.reframe);
    job->durationSeconds = info.durationSeconds;
    job->tempVideo = temporaryVideoPath(in.outputURL);

    if (!job->reader->start()) return fail(texts::exporting::kReaderError);

    const int W = job->plan.width, H = job->plan.height;
    VideoWriterSettings settings;
    settings.width = W;
    settings.height = H;
    settings.bitRate = static_cast<std::int64_t>(W) * H * 4;
    settings.frameRate = expectedRate(info.frameRate);
    settings.timeBase = info.timeBase;
    settings.fullRange = info.fullRange;
    settings.lossless = in.lossless;
    settings.colorSpace = info.colorSpace;
    settings.colorPrimaries = info.colorPrimaries;
    settings.colorTransfer = info.colorTransfer;
    job->writer = VideoWriter::open(job->tempVideo, settings);
    if (!job->writer) {
        removeQuietly(job->tempVideo);
        // FFmpeg does not say why; a read-only or full output folder is named to the user.
        auto reason = fileCreationFailure(job->tempVideo);
        return fail(reason ? std::string(texts::exporting::kWriterError) + " " + *reason
                           : texts::exporting::kWriterError);
    }

    RecordContext ctx{W, H, info.durationSeconds, in.params.previewHeight, &in.images, job->plan.pixelScale()};
    job->overlays = std::make_shared<const OverlaySet>(buildOverlaySet(in.params.textObjects, ctx));
    return job;
}

namespace {

// Frames waiting between two stages: enough to ride over an uneven frame, few enough that
// memory stays a handful of pictures.
constexpr std::size_t kHandOffFrames = 3;

struct StageFrame {
    av::FramePtr picture;  // W × H, 4:2:0
    std::int64_t pts = 0;
    double seconds = 0;
    bool shared = false;  // planes of the decoder's frame: read only
    // To be scaled or fitted by the drawing stage: the whole source picture (picture is then
    // what keeps its planes alive, and is replaced by the output frame).
    YuvView source;
};

// The whole decoded picture for the drawing stage to reframe: a reference to the decoder's frame
// when the picture is its planes, otherwise a copy (the reader reuses its converted pictures).
av::FramePtr holdWholePicture(const VideoReader::Frame& frame, YuvView& view) {
    if (frame.decoded) {
        av::FramePtr ref(av_frame_clone(frame.decoded));
        if (ref) {
            view = frame.picture;  // the same planes, kept alive by the reference
            return ref;
        }
    }
    av::FramePtr copy = allocateYuv420(frame.picture.width, frame.picture.height);
    if (!copy) return {};
    view = yuvViewOf(*copy);
    copyCropWindow(frame.picture, view, OutputGeometry{frame.picture.width, frame.picture.height, 0, 0});
    return copy;
}

// A reference to the decoder's frame showing only the crop window (its origin must be even, so
// that the chroma planes start on a sample).
av::FramePtr shareCropWindow(const AVFrame& decoded, const OutputGeometry& g) {
    av::FramePtr f(av_frame_clone(&decoded));
    if (!f) return {};
    f->format = AV_PIX_FMT_YUV420P;  // yuvj420p has the same layout; the writer tags the range
    f->data[0] += static_cast<std::ptrdiff_t>(g.cropY) * f->linesize[0] + g.cropX;
    for (int i = 1; i < 3; ++i) f->data[i] += static_cast<std::ptrdiff_t>(g.cropY / 2) * f->linesize[i] + g.cropX / 2;
    f->width = g.width;
    f->height = g.height;
    f->crop_top = f->crop_bottom = f->crop_left = f->crop_right = 0;
    // What the source said about this picture (captions, regions) is not the export's to pass on.
    while (f->nb_side_data > 0) av_frame_remove_side_data(f.get(), f->side_data[0]->type);
    return f;
}

// Whether nobody but this frame holds its planes: the decoder has let go of the picture (it
// predicts nothing more from it), so drawing into it cannot reach a later picture.
bool solelyOwned(const AVFrame& frame) {
    if (!frame.buf[0]) return false;
    for (int i = 0; i < AV_NUM_DATA_POINTERS && frame.buf[i]; ++i)
        if (!av_buffer_is_writable(frame.buf[i])) return false;
    return true;
}

// A frame of its own with the same picture.
av::FramePtr privateCopy(const AVFrame& shared, Yuv420FramePool& pool) {
    av::FramePtr f = pool.get();
    if (!f) return {};
    const YuvView from = yuvViewOf(shared), to = yuvViewOf(*f);
    copyCropWindow(from, to, OutputGeometry{shared.width, shared.height, 0, 0});
    return f;
}

}  // namespace

Outcome<> runFrameLoop(PreparedExport& job, const std::function<void(int)>& progress, const std::atomic<bool>* cancel) {
    const OutputGeometry g = job.plan.crop;
    const bool plainCrop = job.plan.plainCrop();
    FrameReframer reframer(job.plan);  // used by the drawing stage alone
    const SourceInfo& info = job.reader->info();
    const YuvColorModel model = colorModelOf(info.colorMatrix, info.fullRange);
    auto failWith = [&](Failure failure) -> Outcome<> {
        job.writer.reset();  // closes the file before it is removed
        removeQuietly(job.tempVideo);
        return failure;
    };

    BoundedQueue<StageFrame> decoded(kHandOffFrames), drawn(kHandOffFrames);
    // The frames the stages fill themselves; a handful in use at any time.
    Yuv420FramePool ownFrames(g.width, g.height);
    std::atomic<bool> stop{false}, readerFailed{false}, writerFailed{false};
    auto cancelled = [&] { return cancel && cancel->load(); };
    auto halt = [&] {
        stop = true;
        decoded.abort();
        drawn.abort();
    };

    // Decode stage: the crop window of each picture copied into a frame of its own, so that the
    // decoder's pictures (which later pictures are predicted from) are never drawn into.
    std::thread decoding([&] {
        pthread_setname_np(pthread_self(), "videoexport.dec");
        try {
            for (;;) {
                if (stop || cancelled()) break;
                VideoReader::Frame frame;
                const VideoReader::Status status = job.reader->next(frame);
                if (status == VideoReader::Status::End) break;
                if (status == VideoReader::Status::Error) {
                    readerFailed = true;
                    break;
                }
                StageFrame out{nullptr, frame.pts, frame.seconds, false, {}};
                if (!plainCrop) {
                    // Scaled or fitted: the drawing stage makes the output frame, so that the
                    // scaling does not hold up decoding.
                    out.picture = holdWholePicture(frame, out.source);
                    if (!out.picture) {
                        readerFailed = true;
                        break;
                    }
                    if (!decoded.push(std::move(out))) break;
                    continue;
                }
                const bool inside =
                    frame.picture.width >= g.cropX + g.width && frame.picture.height >= g.cropY + g.height;
                if (frame.decoded && inside && (g.cropX | g.cropY) % 2 == 0) {
                    // The decoder's own frame, shared: the crop is a move of the plane pointers.
                    out.picture = shareCropWindow(*frame.decoded, g);
                    out.shared = out.picture != nullptr;
                }
                if (!out.picture) {
                    out.picture = ownFrames.get();
                    if (!out.picture) {
                        readerFailed = true;
                        break;
                    }
                    const YuvView to = yuvViewOf(*out.picture);
                    // A picture smaller than announced (a size change mid-stream): what it lacks stays black.
                    if (!inside) fillBlack(to, info.fullRange);
                    copyCropWindow(frame.picture, to, g);
                }
                if (!decoded.push(std::move(out))) break;
            }
        } catch (...) {
            readerFailed = true;
        }
        // A stage that leaves early releases the others: nobody would empty or fill its queue.
        if (readerFailed || cancelled()) halt();
        decoded.close();
    });

    // Encode stage: x264 runs its own threads beneath this one.
    std::thread encoding([&] {
        pthread_setname_np(pthread_self(), "videoexport.enc");
        try {
            StageFrame frame;
            while (drawn.pop(frame)) {
                if (stop || cancelled()) break;
                if (!job.writer->write(*frame.picture, frame.pts)) {
                    writerFailed = true;
                    break;
                }
                frame.picture.reset();
            }
        } catch (...) {
            writerFailed = true;
        }
        if (writerFailed || stop || cancelled()) halt();
    });

    // Drawing stage: this thread, one frame at a time.
    long frames = 0;
    std::exception_ptr drawingError;
    try {
        OverlayRenderer renderer(job.overlays, job.plan.width, job.plan.height, job.durationSeconds);
        StageFrame frame;
        while (decoded.pop(frame)) {
            if (cancelled()) break;
            if (frame.source.data[0]) {
                // Scaled or fitted: a frame of its own, made by swscale from the source's planes.
                frame.picture = reframer.reframe(frame.source, info.fullRange);
                frame.source = {};
                if (!frame.picture) {
                    readerFailed = true;  // memory, or sizes swscale refuses: the picture cannot be read out
                    break;
                }
            }
            if (renderer.drawsAt(frame.seconds)) {
                // Drawing never reaches a picture the decoder still predicts from; one it has let go
                // of is drawn into as it is, which saves copying the frame.
                if (frame.shared && !solelyOwned(*frame.picture) &&
                    !(frame.picture = privateCopy(*frame.picture, ownFrames)))
                    throw std::bad_alloc();
                renderer.processFrame(yuvViewOf(*frame.picture), model, frame.seconds);
            }
            const double seconds = frame.seconds;
            if (!drawn.push(std::move(frame))) break;
            ++frames;
            if (progress) progress(transcodeProgress(seconds, job.durationSeconds));
        }
    } catch (...) {
        drawingError = std::current_exception();
    }
    if (drawingError || readerFailed || cancelled()) halt();
    drawn.close();
    decoding.join();
    encoding.join();
    job.originSeconds = job.reader->originSeconds();
    job.resetShiftSeconds = job.reader->resetShiftSeconds();

    if (drawingError) {
        failWith(fail(texts::exporting::kWriterError));
        std::rethrow_exception(drawingError);
    }
    if (cancelled()) return failWith(Failure::cancel());
    if (writerFailed) return failWith(fail(texts::exporting::kWriterError));
    if (readerFailed) return failWith(fail(texts::exporting::kReaderError));
    // A source that never yields a single picture did not start reading.
    if (frames == 0) return failWith(fail(texts::exporting::kReaderError));
    if (!job.writer->finish()) return failWith(fail(texts::exporting::kWriterError));
    job.writer.reset();
    return {};
}

}  // namespace tamo
