#include "platform/atspi/caret_query.h"

#include <atspi/atspi.h>

#include <memory>

namespace platform::atspi {

namespace {

// Each call to the bus gives up after this long, so that a hung application cannot keep the
// thread (and the program's exit) waiting.
constexpr int kCallTimeoutMs = 100;
// Bounds on the walk through an application's objects, for applications with huge trees.
constexpr int kMaxDepth = 40;
constexpr int kMaxVisited = 4000;

struct Unref {
    void operator()(gpointer p) const {
        if (p) g_object_unref(p);
    }
};
template <typename T>
using Owned = std::unique_ptr<T, Unref>;

bool hasState(AtspiAccessible* a, AtspiStateType state) {
    Owned<AtspiStateSet> states(atspi_accessible_get_state_set(a));
    return states && atspi_state_set_contains(states.get(), state);
}

std::optional<Rect> caretOf(AtspiAccessible* a) {
    Owned<AtspiText> text(atspi_accessible_get_text_iface(a));
    if (!text) return std::nullopt;
    GError* error = nullptr;
    const gint offset = atspi_text_get_caret_offset(text.get(), &error);
    if (error) return g_error_free(error), std::nullopt;
    auto extents = [&](gint at) -> std::optional<Rect> {
        GError* e = nullptr;
        AtspiRect* r = atspi_text_get_character_extents(text.get(), at, ATSPI_COORD_TYPE_SCREEN, &e);
        if (e) g_error_free(e);
        if (!r) return std::nullopt;
        const Rect out{r->x, r->y, r->x + r->width, r->y + r->height};
        g_free(r);
        if (out.width() <= 0 && out.height() <= 0) return std::nullopt;
        return out;
    };
    if (std::optional<Rect> r = extents(offset)) return Rect{r->left, r->top, r->left + 1, r->bottom};
    // At the end of the text there is no character: the caret stands after the last one.
    if (offset > 0)
        if (std::optional<Rect> r = extents(offset - 1)) return Rect{r->right, r->top, r->right + 1, r->bottom};
    return std::nullopt;
}

// The focused object below `a`, looking only into what is showing.
AtspiAccessible* findFocused(AtspiAccessible* a, int depth, int& visited) {
    if (depth > kMaxDepth || ++visited > kMaxVisited) return nullptr;
    if (hasState(a, ATSPI_STATE_FOCUSED)) return static_cast<AtspiAccessible*>(g_object_ref(a));
    GError* error = nullptr;
    const gint children = atspi_accessible_get_child_count(a, &error);
    if (error) return g_error_free(error), nullptr;
    for (gint i = 0; i < children; ++i) {
        Owned<AtspiAccessible> child(atspi_accessible_get_child_at_index(a, i, nullptr));
        if (!child || (depth > 0 && !hasState(child.get(), ATSPI_STATE_SHOWING))) continue;
        if (AtspiAccessible* found = findFocused(child.get(), depth + 1, visited)) return found;
    }
    return nullptr;
}

std::optional<CaretReport> lookUp(ProcessId process) {
    Owned<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop) return std::nullopt;
    // What the bus remembers may be stale: the focus moves all the time.
    atspi_accessible_clear_cache(desktop.get());
    const gint apps = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (gint i = 0; i < apps; ++i) {
        Owned<AtspiAccessible> app(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
        if (!app || atspi_accessible_get_process_id(app.get(), nullptr) != process) continue;
        int visited = 0;
        Owned<AtspiAccessible> focused(findFocused(app.get(), 0, visited));
        if (!focused) continue;
        if (std::optional<Rect> caret = caretOf(focused.get())) return CaretReport{process, *caret};
    }
    return std::nullopt;
}

}  // namespace

CaretQuery::CaretQuery() : thread_([this] { run(); }) {}

CaretQuery::~CaretQuery() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.reset();
    }
    wake_.notify_all();
    thread_.join();
}

void CaretQuery::ask(ProcessId process, Answer answer) {
    {
        std::lock_guard lock(mutex_);
        pending_.emplace(process, std::move(answer));
    }
    wake_.notify_all();
}

void CaretQuery::run() {
    bool initialised = false;
    for (;;) {
        std::pair<ProcessId, Answer> question;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || pending_.has_value(); });
            if (stopping_) break;
            question = std::move(*pending_);
            pending_.reset();
        }
        // Everything of the library stays on this thread.
        if (!initialised) {
            initialised = atspi_init() <= 1;  // 1: already initialised
            atspi_set_timeout(kCallTimeoutMs, kCallTimeoutMs);
        }
        std::optional<CaretReport> report;
        if (initialised && question.first != 0) report = lookUp(question.first);
        question.second(report);
    }
    if (initialised) atspi_exit();
}

}  // namespace platform::atspi
