/*
 * videostabilizer.h - plain C interface of the video stabilization engine.
 *
 * The library probes, analyzes and stabilizes video files. Analyses and
 * stabilizations run as sessions on worker threads of their own: a host starts
 * a job, polls it, reads its result and frees it. Blocking variants run a job
 * to completion and hand back its report.
 *
 * Conventions shared by every function:
 *  - Paths and texts are NUL-terminated 8-bit strings, passed through as they
 *    are (UTF-8 on Linux). A path longer than 1023 bytes is refused ("path
 *    too long"): cut, it would name another file. Other texts longer than
 *    the library's buffers are cut.
 *  - Users' files come first. Files are read only when they are regular
 *    files (a FIFO or a device is refused at once, never waited on). Paths
 *    are compared as files, not as texts (a hard or symbolic link to a file
 *    is that file): a job never writes over its own input, the transforms
 *    or settings file it reads, or a file another running job of this
 *    process reads or writes. An output, and a settings file at a path the
 *    host names, is written as a new file beside the path (same directory,
 *    hidden name) and takes the path's place only once it is complete; a
 *    job that fails or is cancelled removes only that file of its own, so
 *    whatever stood at the path before stays as it was.
 *  - Every returned `const char *` points into storage owned by the library.
 *    The host never frees it. Each function says until when the text stays
 *    valid; copy it if you need it longer.
 *  - Failures leave a short message in the process-wide error text, read with
 *    videostabilizer_last_error(). The functions that can fail empty it first.
 *  - Every function may be called from any thread. No function throws or
 *    calls back into the host.
 *
 * Session ids are 0 to 15. States: 2 running, 3 done, 4 cancelled, 5 failed;
 * -1 for an id that names no session.
 */
#ifndef VIDEOSTABILIZER_H
#define VIDEOSTABILIZER_H

#if defined(_WIN32)
#  if defined(VIDEOSTABILIZER_BUILDING)
#    define VIDEOSTABILIZER_API __declspec(dllexport)
#  else
#    define VIDEOSTABILIZER_API __declspec(dllimport)
#  endif
#else
#  define VIDEOSTABILIZER_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Session states reported by videostabilizer_status and in the progress JSON. */
#define VIDEOSTABILIZER_RUNNING   2
#define VIDEOSTABILIZER_DONE      3
#define VIDEOSTABILIZER_CANCELLED 4
#define VIDEOSTABILIZER_FAILED    5

/*
 * Version text of the engine: "1.0.0 (libavformat 63.4.100, swscale 10)".
 * Result: a static buffer of the library, rewritten with the same bytes on
 * every call; valid for the life of the library.
 */
VIDEOSTABILIZER_API const char *videostabilizer_version(void);

/*
 * The last error text of the process: the message of the last failing call
 * or job, or "" when the last call that clears it succeeded. There is one
 * text for the whole process, written by host calls and by worker threads.
 * Result: never NULL; points at the library's error buffer, which the next
 * failing call or job overwrites.
 */
VIDEOSTABILIZER_API const char *videostabilizer_last_error(void);

/*
 * Probes a video file and reports its facts as one line of JSON:
 * {"ok":"true","duration_s":..,"width":..,"height":..,"fps":..,
 *  "has_audio":true|false,"codec":"..","size_bytes":..,"bitrate":..}
 *  input_path: the file to probe.
 *  out_json:   receives the report on success, NULL on failure (it is not
 *              touched when out_json itself is NULL).
 * Result: 1 on success, 0 on failure (reason in videostabilizer_last_error).
 * The report lives in one library buffer, valid until the next probe call
 * from any thread.
 */
VIDEOSTABILIZER_API int videostabilizer_probe(const char *input_path, const char **out_json);

/*
 * Starts an analysis of input_path on a worker thread and returns at once.
 * The analysis measures the camera motion and writes a transforms file and a
 * settings file; a later stabilization of the same input (same path text) in
 * this process finds them without being told.
 *  input_path:    the video to analyze (required).
 *  settings_path: where to write the settings JSON; NULL or "" writes it to a
 *                 temporary file (its path is in the result report).
 * Result: the session id 0..15; -1 "empty input", "path too long",
 * "settings path is the input", "settings path is not a regular file"
 * (something else stands there), "output path is in use by another job"
 * (a running job reads or writes the settings path); -2 "too many
 * sessions" (16 running or unfreed sessions); -9 "thread start failed".
 */
VIDEOSTABILIZER_API int videostabilizer_analyze_start(const char *input_path,
                                                      const char *settings_path);

/*
 * Starts a stabilization of input_path into output_path on a worker thread
 * and returns at once. The container follows the output's extension (.mp4,
 * .m4v, .mov, .mkv, .avi, .ts; anything else gives MP4); video is H.264.
 *  options_json: NULL, "" or a JSON object with any of
 *    "mode" ("smooth"|"optical"), "strength" (0..10, default 5),
 *    "crop" ("max" keeps the full frame), "sharpen" (default true),
 *    "keep_audio" (default true: the input's first audio stream is
 *    re-encoded as AAC stereo into stream 1; silently left out when no AAC
 *    encoder can be set up),
 *    "transforms" (transforms file to use),
 *    "settings" (settings file naming the transforms file).
 * Result: the session id 0..15; -1 "empty path", "path too long" (also for
 * the "transforms" and "settings" options), "bad options_json", "output
 * path is the input", "output path is the transforms file", "output path is
 * the settings file" (the files the options name), "output path is not a
 * regular file", "output path is in use by another job"; -2 "too many
 * sessions"; -9 "thread start failed". A job whose transforms file, found
 * through an earlier analysis or a settings file, is its output fails with
 * "output path is the transforms file" before it writes anything.
 */
VIDEOSTABILIZER_API int videostabilizer_stabilize_start(const char *input_path,
                                                        const char *output_path,
                                                        const char *options_json);

/*
 * State of a session: 2 running, 3 done, 4 cancelled, 5 failed, or -1 when
 * the id names no session (out of range or freed).
 */
VIDEOSTABILIZER_API int videostabilizer_status(int session_id);

/*
 * Progress of a session as JSON:
 * {"state":2,"percent":42,"pass":"detect"|"transform","frames_done":..,
 *  "frames_total":..}, or {"state":-1} for an id that names no session.
 * Result: a buffer of the calling thread, valid until that thread's next
 * videostabilizer_progress or videostabilizer_result call.
 */
VIDEOSTABILIZER_API const char *videostabilizer_progress(int session_id);

/*
 * Result of a session as JSON. While the job runs: its progress report (the
 * same buffer as videostabilizer_progress). Once it has ended: the analysis
 * report, the stabilization report, or {"ok":false,"error":"..."} for a
 * cancelled or failed job; {"ok":false,"error":"bad job"} for an id that
 * names no session.
 * Result: for an ended job a buffer of the session, valid until the session
 * is freed; otherwise as videostabilizer_progress.
 */
VIDEOSTABILIZER_API const char *videostabilizer_result(int session_id);

/*
 * Asks a running job to stop; it ends soon after as cancelled. Does nothing
 * for an id that names no session or a job that has already ended.
 */
VIDEOSTABILIZER_API void videostabilizer_cancel(int session_id);

/*
 * Releases a session: waits until its worker has ended (it does not cancel
 * it), then, unless the job succeeded, deletes the temporary files the job
 * created (a stabilization that did not succeed has already removed its
 * unfinished output, and never touched the output path). The id may then
 * be given to a new job.
 * Does nothing for an id that names no session. Free each id once, from one
 * thread, after the last use of its texts.
 */
VIDEOSTABILIZER_API void videostabilizer_free(int session_id);

/*
 * Runs an analysis to completion (see videostabilizer_analyze_start) and
 * frees its session.
 *  out_json: receives the analysis report on success, NULL on failure; must
 *            not be NULL ("out_json NULL").
 * Result: 1 when the analysis finished, else 0 with the job's message in
 * videostabilizer_last_error. The report lives in a library buffer valid
 * until the next videostabilizer_analyze call from any thread.
 */
VIDEOSTABILIZER_API int videostabilizer_analyze(const char *input_path,
                                                const char *settings_path,
                                                const char **out_json);

/*
 * Runs a stabilization to completion (see videostabilizer_stabilize_start)
 * and frees its session.
 *  out_json: receives the stabilization report on success, NULL on failure;
 *            must not be NULL ("out_json NULL").
 * Result: 1 when the stabilized file was written, else 0 with the job's
 * message in videostabilizer_last_error (nothing is left at output_path
 * but what stood there before). The
 * report lives in a library buffer valid until the next
 * videostabilizer_stabilize call from any thread.
 */
VIDEOSTABILIZER_API int videostabilizer_stabilize(const char *input_path,
                                                  const char *output_path,
                                                  const char *options_json,
                                                  const char **out_json);

#ifdef __cplusplus
}
#endif

#endif /* VIDEOSTABILIZER_H */
