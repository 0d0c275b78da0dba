// Texts of the course player (English). Every language's copy has the same keys; player.js
// fills {n}, {total} and {t} in.
var TovraText = {
  page: 'Page {n}',
  pageOf: 'Page {n} / {total}',
  noCourseName: 'Untitled course',
  noLecturer: 'not given',
  contents: 'Contents',
  noIndex: 'This course has no page list yet. Turn the pages with Previous and Next or the arrow keys.',
  shownAt: 'Shown at {t} in the lecture',
  notInCourse: 'This page is no longer in the course',
  lecture: 'Recorded lecture',
  // Offered when a learning platform brings the student back to a course left unfinished.
  resumeLecture: 'Continue the lecture from {t}?',
  resumePage: 'Continue at page {n}?',
  resumeYes: 'Continue',
  resumeNo: 'Start from the beginning',
  // The recorder writes these words into CourseIndex.js in Chinese whatever the language.
  indexLabels: {
    '\u7f51\u7edc\u8bfe\u7a0b': 'Course',
    '\u8bfe\u7a0b\u76ee\u5f55': 'Pages in the lecture',
    '\u5236\u4f5c:': 'Made by:',
    '\u65f6\u95f4:': 'Date:'
  }
};
