// The two drawing paths: an OpenGL ES 1.1 context through EGL (the default)
// and SDL's OpenGL context (the fallback, or "--gl desktop").
// - The real program names its path, GL_VERSION and GL_RENDERER in the log;
//   without an EGL vendor library it falls back, or with "--gl es" fails in one
//   line with status 1; a forced path that cannot be had is a video failure.
// - The same frames drawn on both paths, each in a child process of its own
//   (the board, a menu page, the About page, the on-screen keyboard, a notice,
//   lit 3D shapes through the camera) and a screenshot file, are identical
//   byte for byte.
// - On each path the application's picture drawn from its cache is byte for
//   byte the one drawn anew (the board idle, a button held, a notice, the
//   keyboard and a menu over it), and a change nobody marks is not shown.
#include "app/app_internal.h"
#include <vostrel/render/render_internal.h>
#include <vostrel/anim/anim_internal.h>
#include <vostrel/diag/diag.h>
#include <vostrel/audio/audio_internal.h>
#include <vostrel/diag/diag_internal.h>
#include <vostrel/render/render.h>
#include <vostrel/render/render_internal.h>
#include <vostrel/shell/shell_internal.h>
#include <vostrel/text/text.h>
#include <vostrel/ui/ui_internal.h>
#include <vostrel/input/input_internal.h>
#include "support.h"

#include <gtest/gtest.h>

#include <GLES/gl.h>
#include <SDL.h>
#include <SDL_mixer.h>
// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include "tools/xwindow.h"

#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char LOG_NAME[] = "vostrel soundboard_log.txt";
const char NO_VENDOR[] = "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent/vendor.json";

std::vector<std::string> lines_with(const std::string &text, const std::string &needle) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        if (line.find(needle) != std::string::npos) out.push_back(line);
        pos = nl + 1;
    }
    return out;
}

// A connection of our own keeps Xvfb from resetting between programs; Xlib,
// not SDL, so that the children forked below start with SDL untouched.
struct DisplayHold {
    Display *d = XOpenDisplay(nullptr);
    ~DisplayHold() {
        if (d) XCloseDisplay(d);
    }
};

struct ProgramRun {
    int status;
    std::string log, err;
};

// The program with --log-level 3 and args, until its window shows (then a
// few frames and SIGTERM) or it ends by itself. The log is read after the
// exit: it is not flushed line by line.
ProgramRun run_program(TempDir &dir, const std::vector<std::string> &args,
                       const std::vector<std::string> &env) {
    std::vector<std::string> all = {"--log-level", "3"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<std::string> full_env = {"SDL_AUDIODRIVER=dummy", "ASAN_OPTIONS=detect_leaks=0"};
    full_env.insert(full_env.end(), env.begin(), env.end());
    ProgramRun r = {-1, "", ""};
    TestProgram program;
    if (!program.start(all, full_env, "stderr.txt")) return r;
    program.find_window(30000);
    if (program.running()) usleep(300000); // a few frames
    if (program.running()) {
        r.status = program.stop(30);
    } else {
        r.status = program_wait(program.pid, 30);
        program.pid = -1; // reaped
    }
    r.log = read_file(dir.file(LOG_NAME));
    r.err = read_file(dir.file("stderr.txt"));
    return r;
}

const char ES_LINE[] = "] GL: OpenGL ES-CM 1.1 ";
const char THROUGH_EGL[] = ", through EGL";
const char THROUGH_SDL[] = ", through SDL's OpenGL context";

TEST(GlPath, TheLogNamesThePathVersionAndRenderer) {
    DisplayHold hold;
    ASSERT_NE(hold.d, nullptr) << "run under xvfb-run";
    const std::vector<std::string> choices[] = {{}, {"--gl", "es"}, {"--gl", "desktop"}};
    for (const auto &args : choices) {
        bool desktop = !args.empty() && args[1] == "desktop";
        TempDir dir;
        ProgramRun r = run_program(dir, args, {});
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> gl = lines_with(r.log, "] GL: ");
        ASSERT_EQ(gl.size(), 1u) << r.log;
        EXPECT_EQ(gl[0].rfind("INFO     [", 0), 0u) << gl[0];
        if (desktop) {
            EXPECT_EQ(gl[0].find(ES_LINE), std::string::npos) << gl[0];
            EXPECT_NE(gl[0].find(THROUGH_SDL), std::string::npos) << gl[0];
        } else {
            EXPECT_NE(gl[0].find(ES_LINE), std::string::npos) << gl[0];
            EXPECT_NE(gl[0].find(THROUGH_EGL), std::string::npos) << gl[0];
        }
        // The renderer follows the version: "<version>, <renderer>, through ...".
        size_t version = gl[0].find("] GL: ") + 6;
        size_t renderer = gl[0].find(", ", version);
        size_t through = gl[0].rfind(", through ");
        EXPECT_LT(renderer, through) << gl[0];
        EXPECT_GT(through, renderer + 2) << "a renderer name: " << gl[0];
    }
}

TEST(GlPath, WithoutAnEglVendorTheDefaultFallsBackAndEsFails) {
    DisplayHold hold;
    ASSERT_NE(hold.d, nullptr) << "run under xvfb-run";
    {
        TempDir dir;
        ProgramRun r = run_program(dir, {}, {NO_VENDOR});
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> why = lines_with(r.log, "] No OpenGL ES context (");
        ASSERT_EQ(why.size(), 1u) << r.log;
        EXPECT_EQ(why[0].rfind("WARNING  [", 0), 0u) << why[0];
        EXPECT_NE(why[0].find("eglGetDisplay failed"), std::string::npos) << why[0];
        std::vector<std::string> gl = lines_with(r.log, "] GL: ");
        ASSERT_EQ(gl.size(), 1u) << r.log;
        EXPECT_NE(gl[0].find(THROUGH_SDL), std::string::npos) << gl[0];
        EXPECT_NE(r.log.find("] Initialization Complete"), std::string::npos);
    }
    {
        TempDir dir;
        ProgramRun r = run_program(dir, {"--gl", "es"}, {NO_VENDOR});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "vostrel-soundboard: OpenGL ES through EGL failed: eglGetDisplay failed: "
                         "no EGL vendor library answered (EGL_SUCCESS)\n");
        EXPECT_EQ(lines_with(r.log, "] GL: ").size(), 0u) << r.log;
        EXPECT_EQ(lines_with(r.log, "] Initialization Complete").size(), 0u) << r.log;
    }
}

TEST(GlPath, AForcedPathTheVideoDriverCannotGiveIsAVideoFailure) {
    struct Case {
        std::string path, what, reason;
    };
    // SDL's dummy video driver has neither an X11 window nor OpenGL.
    const Case cases[] = {
        {"es", "OpenGL ES through EGL", "SDL's video driver \"dummy\" gives no X11 window"},
        {"desktop", "SDL_SetVideoMode", "OpenGL"},
    };
    for (const Case &c : cases) {
        TempDir dir;
        ProgramRun r = run_program(dir, {"--gl", c.path}, {"SDL_VIDEODRIVER=dummy"});
        EXPECT_EQ(r.status, 1) << c.path;
        EXPECT_EQ(count_of(r.err, "\n"), 1) << r.err;
        EXPECT_EQ(r.err.rfind("vostrel-soundboard: " + c.what + " failed: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(lines_with(r.log, "] No OpenGL ES context").size(), 0u)
            << "a forced path does not fall back: " << r.log;
    }
}

// ---- Same pixels on both paths ------------------------------------------------

const Rect SCREEN = {0, 320, 0, 480};

void dump_frame(FILE *out) {
    std::vector<uint8_t> px = read_pixels(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT);
    fwrite(px.data(), 1, px.size(), out);
}

void settle_tweens() {
    for (int i = 0; i < 20; i++)
        tween_update(0.25f);
}

// Lit, depth-tested shapes through a perspective camera on the whole screen.
void draw_camera_scene() {
    frame_begin(&SCREEN);
    const float eye[3] = {2.5f, 2.0f, 4.0f}, target[3] = {0, 0, 0}, up[3] = {0, 1, 0};
    camera_setup(eye, target, up, 45.0f, rect_aspect(&SCREEN), 0.5f, 20.0f);
    const uint8_t orange[4] = {230, 120, 40, 255}, teal[4] = {40, 170, 170, 255};
    glPushMatrix();
    glRotatef(30.0f, 0.3f, 1.0f, 0.0f);
    gl_set_color(orange);
    Rect face = {-0.8f, 0.8f, -0.8f, 0.8f};
    draw_box(&face, 1, 1.6f);
    glPopMatrix();
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, 1.2f);
    glRotatef(70.0f, 1.0f, 0.0f, 0.0f);
    gl_set_color(teal);
    draw_cylinder(0.5f, 360.0f, 1, 1.5f);
    glPopMatrix();
    gl_begin_2d(&SCREEN);
    frame_end(&SCREEN);
}

// In a fresh child: the shell on `path`, the frames written one after the
// other to frames.raw and a screenshot to shot.png in the current directory.
// Exit status 0 when all was drawn on that path.
int draw_scenes(int path) {
    if (!sdl_init_retrying(SDL_INIT_VIDEO | SDL_INIT_AUDIO)) return 2;
    if (!sound_mixer_open(SOUND_CHUNK_FRAMES)) return 2;
    shell_request_context(path);
    shell_open_window(SCREEN_WIDTH, SCREEN_HEIGHT);
    if (quit_requested || shell_context_path() != path) return 3;
    FILE *out = fopen("frames.raw", "wb");
    if (!out) return 4;

    shell_draw_frame(); // the board
    dump_frame(out);
    screenshot_write(&screen_rect, "shot.png");

    MenuPage page = {};
    menu_set_text(page.title, "Options");
    page.item_count = 2;
    menu_set_text(page.items[0].label, "Volume: On");
    menu_set_text(page.items[1].label, "About");
    page.items[1].on_activate = menu_transition_handler(MENU_MODE_OPEN, menu_about_page());
    MenuHandler open = menu_transition_handler(MENU_MODE_OPEN, &page);
    menu_run_handler(&open);
    settle_tweens();
    menu_select(1);
    shell_draw_frame();
    dump_frame(out);
    menu_run_handler(&page.items[1].on_activate);
    settle_tweens();
    shell_draw_frame();
    dump_frame(out);
    menu_close();

    keyboard_show(nullptr);
    shell_draw_frame();
    dump_frame(out);
    keyboard_hide();

    notice_post("The same notice on both paths", 0.0f);
    notice_update(0.0f);
    settle_tweens();
    shell_draw_frame();
    dump_frame(out);
    notice_dismiss();
    settle_tweens();

    draw_camera_scene();
    dump_frame(out);
    fclose(out);
    return 0;
}

// Runs draw_scenes in a child whose working directory is `folder`.
int draw_in_child(int path, const std::string &folder) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(5);
        log_threshold = LOG_INFO;
        _exit(draw_scenes(path));
    }
    return pid > 0 ? program_wait(pid, 120) : -1;
}

TEST(GlPath, BothPathsDrawTheSameFramesAndScreenshot) {
    DisplayHold hold;
    ASSERT_NE(hold.d, nullptr) << "run under xvfb-run";
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file("es").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("desktop").c_str(), 0755), 0);
    ASSERT_EQ(draw_in_child(CONTEXT_ES, dir.file("es")), 0)
        << read_file(dir.file("es/vostrel soundboard_log.txt"));
    ASSERT_EQ(draw_in_child(CONTEXT_DESKTOP, dir.file("desktop")), 0)
        << read_file(dir.file("desktop/vostrel soundboard_log.txt"));

    std::vector<uint8_t> es = read_bytes(dir.file("es/frames.raw"));
    std::vector<uint8_t> desktop = read_bytes(dir.file("desktop/frames.raw"));
    const size_t frame = static_cast<size_t>(SCREEN_WIDTH) * SCREEN_HEIGHT * 4;
    const char *names[] = {"board", "menu page", "About page", "keyboard", "notice", "3D camera"};
    ASSERT_EQ(es.size(), frame * 6);
    ASSERT_EQ(desktop.size(), es.size());
    for (size_t f = 0; f < 6; f++) {
        const uint8_t *a = es.data() + f * frame, *b = desktop.data() + f * frame;
        size_t differing = 0, first = frame;
        for (size_t i = 0; i < frame; i++)
            if (a[i] != b[i]) {
                differing++;
                if (first == frame) first = i;
            }
        EXPECT_EQ(differing, 0u) << names[f] << ": first at pixel " << first / 4;
        // Frames that differ from one another: each scene really drew.
        if (f > 0) {
            EXPECT_NE(memcmp(a, a - frame, frame), 0) << names[f] << " is the previous frame";
        }
    }
    std::vector<uint8_t> shot_es = read_bytes(dir.file("es/shot.png"));
    std::vector<uint8_t> shot_desktop = read_bytes(dir.file("desktop/shot.png"));
    ASSERT_GT(shot_es.size(), 1000u);
    EXPECT_TRUE(shot_es == shot_desktop) << "screenshots differ";
}

// ---- The picture cache ---------------------------------------------------------

// Two frames of each scene, the second dumped: the first draws the picture
// anew, the second (with the cache on) shows it from the cache.
void dump_settled(FILE *out) {
    shell_draw_frame();
    shell_draw_frame();
    dump_frame(out);
}

const char *const CACHE_SCENES[] = {"idle board", "held button", "unmarked release",    "notice",
                                    "keyboard",   "menu",        "board after the menu"};
constexpr size_t CACHE_SCENE_COUNT = sizeof CACHE_SCENES / sizeof CACHE_SCENES[0];
constexpr size_t UNMARKED = 2;

void draw_cache_scenes(FILE *out) {
    dump_settled(out);
    float x = rect_center_x(&buttons[5].cell), y = rect_center_y(&buttons[5].cell);
    rect_map_point(&grid_rect, &app_input_rect, &x, &y);
    TouchEvent touch = {};
    touch.count = 1;
    touch.points[0].x = x;
    touch.points[0].y = y;
    board_pick(touch);
    dump_settled(out);
    selected_button = nullptr; // changed behind the rule's back
    dump_settled(out);
    picture_changed();
    notice_post("A notice over the board", 0.0f);
    notice_update(0.0f);
    dump_settled(out);
    notice_dismiss();
    keyboard_show(nullptr);
    dump_settled(out);
    keyboard_hide();
    MenuPage page = {};
    menu_set_text(page.title, "Options");
    page.item_count = 1;
    menu_set_text(page.items[0].label, "Volume: On");
    MenuHandler open = menu_transition_handler(MENU_MODE_OPEN, &page);
    menu_run_handler(&open);
    settle_tweens();
    dump_settled(out);
    menu_close();
    settle_tweens();
    dump_settled(out);
}

// In a fresh child on `path`: the scenes drawn without the cache to
// uncached.raw, then with it to cached.raw.
int cache_scenes(int path) {
    if (!sdl_init_retrying(SDL_INIT_VIDEO | SDL_INIT_AUDIO)) return 2;
    if (!sound_mixer_open(SOUND_CHUNK_FRAMES)) return 2;
    shell_request_context(path);
    shell_open_window(SCREEN_WIDTH, SCREEN_HEIGHT);
    if (quit_requested || shell_context_path() != path) return 3;
    const char *files[2] = {"uncached.raw", "cached.raw"};
    for (int cached = 0; cached < 2; cached++) {
        FILE *out = fopen(files[cached], "wb");
        if (!out) return 4;
        picture_cache_set_enabled(cached);
        selected_button = nullptr;
        draw_cache_scenes(out);
        fclose(out);
    }
    return 0;
}

TEST(GlPath, TheCachedPictureIsTheDrawnOneOnBothPaths) {
    DisplayHold hold;
    ASSERT_NE(hold.d, nullptr) << "run under xvfb-run";
    const size_t frame = static_cast<size_t>(SCREEN_WIDTH) * SCREEN_HEIGHT * 4;
    for (int path : {CONTEXT_ES, CONTEXT_DESKTOP}) {
        SCOPED_TRACE(path == CONTEXT_ES ? "ES path" : "SDL's OpenGL context");
        TempDir dir;
        fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.path.c_str()) != 0) _exit(5);
            _exit(cache_scenes(path));
        }
        ASSERT_EQ(pid > 0 ? program_wait(pid, 120) : -1, 0);
        std::vector<uint8_t> drawn = read_bytes(dir.file("uncached.raw"));
        std::vector<uint8_t> cached = read_bytes(dir.file("cached.raw"));
        ASSERT_EQ(drawn.size(), frame * CACHE_SCENE_COUNT);
        ASSERT_EQ(cached.size(), drawn.size());
        auto at = [frame](std::vector<uint8_t> &v, size_t scene) {
            return v.data() + scene * frame;
        };
        for (size_t f = 0; f < CACHE_SCENE_COUNT; f++) {
            if (f == UNMARKED) continue;
            size_t differing = 0;
            for (size_t i = 0; i < frame; i++)
                differing += at(drawn, f)[i] != at(cached, f)[i];
            EXPECT_EQ(differing, 0u) << CACHE_SCENES[f];
            if (f > 0) {
                EXPECT_NE(memcmp(at(drawn, f), at(drawn, f - 1), frame), 0) << CACHE_SCENES[f];
            }
        }
        // Unmarked: drawn anew, the release shows; from the cache, the held button stays.
        EXPECT_EQ(memcmp(at(drawn, UNMARKED), at(drawn, 0), frame), 0);
        EXPECT_EQ(memcmp(at(cached, UNMARKED), at(cached, 1), frame), 0);
    }
}

} // namespace
