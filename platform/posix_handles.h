/*
** Handles of the POSIX platform: the objects behind the opaque handles that
** the launcher holds (open registry keys, started children), shared by the
** files of the POSIX platform.
*/
#ifndef TARNWICK_POSIX_HANDLES_H
#define TARNWICK_POSIX_HANDLES_H

#include <memory>
#include <vector>

namespace platform {

/* The objects behind the handles handed to the launcher, owned here as the
** system owns its handles: one the launcher never releases is reclaimed when
** the process ends, and one that is not (or no longer) open is refused
** instead of being read. */
template <typename Object> class HandleTable {
public:
    void *add(std::unique_ptr<Object> object) {
        objects_.push_back(std::move(object));
        return objects_.back().get();
    }
    Object *find(void *handle) const {
        for (const std::unique_ptr<Object> &object : objects_)
            if (object.get() == handle) return object.get();
        return nullptr;
    }
    void remove(void *handle) {
        for (auto it = objects_.begin(); it != objects_.end(); ++it) {
            if (it->get() != handle) continue;
            objects_.erase(it);
            return;
        }
    }

private:
    std::vector<std::unique_ptr<Object>> objects_;
};

} // namespace platform

#endif
