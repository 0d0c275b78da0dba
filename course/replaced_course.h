// A course folder that already holds a course: how it is recognised, and how its files step
// aside for a new course and come back when making that course fails.
#pragma once

#include <string>

namespace tovra {

// Whether a folder already holds a course: a project file, or a course's web folder.
bool HoldsCourse(const std::string& folder);

// The files of a course being replaced, moved aside until the new course stands, so that a
// failed creation can put them back (done on destruction unless dropped).
class ReplacedCourse {
public:
    ReplacedCourse() = default;
    ReplacedCourse(const ReplacedCourse&) = delete;
    ReplacedCourse& operator=(const ReplacedCourse&) = delete;
    ~ReplacedCourse() { PutBack(); }

    // False when the files could not be moved; those moved so far are back.
    bool MoveAside(const std::string& folder);
    // The new course stands: the old one goes for good.
    void Drop();

private:
    void PutBack();

    std::string folder_;
    std::string aside_;
};

}  // namespace tovra
