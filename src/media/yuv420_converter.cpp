#include "media/yuv420_converter.h"

const AVFrame *Yuv420Converter::convert(const AVFrame *frame, int width, int height) {
  if (frame->format == AV_PIX_FMT_YUV420P && frame->width == width && frame->height == height) return frame;
  if (!converted_) {
    converted_.reset(av_frame_alloc());
    if (!converted_) return nullptr;
    converted_->format = AV_PIX_FMT_YUV420P;
    converted_->width = width;
    converted_->height = height;
    if (av_frame_get_buffer(converted_.get(), 0) < 0) {
      converted_.reset();
      return nullptr;
    }
  }
  scaler_.reset(sws_getCachedContext(scaler_.release(), frame->width, frame->height,
                                     static_cast<AVPixelFormat>(frame->format), width, height,
                                     AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!scaler_) return nullptr;
  sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, converted_->data,
            converted_->linesize);
  return converted_.get();
}

void Yuv420Converter::release() {
  converted_.reset();
  scaler_.reset();
}
