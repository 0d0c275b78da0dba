// Texts of the course player (Chinese). Every language's copy has the same keys; player.js
// fills {n}, {total} and {t} in.
var TovraText = {
  page: '第 {n} 页',
  pageOf: '第 {n} 页 / 共 {total} 页',
  noCourseName: '未命名课程',
  noLecturer: '未填写',
  contents: '课程目录',
  noIndex: '本课程还没有页面目录。请用“上一页”“下一页”按钮或方向键翻页。',
  shownAt: '录像 {t} 处讲到此页',
  notInCourse: '此页已不在课程中',
  lecture: '讲课录像',
  resumeLecture: '从录像 {t} 处继续听课？',
  resumePage: '从第 {n} 页继续？',
  resumeYes: '继续',
  resumeNo: '从头开始',
  // CourseIndex.js is written in Chinese already.
  indexLabels: {}
};
