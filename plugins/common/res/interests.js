// The thirty interests a profile can name, in the order of the indices the
// server keeps: the own-profile page ticks them, the card names them.
var INTERESTS = ["上网", "玩游戏", "交友", "网上购物", "星座", "炒作", "时尚", "唱歌", "摄影", "旅游", "看电影",
    "看电视", "听音乐", "数码产品", "园艺", "汽车", "读书", "运动", "收藏", "厨艺", "购物", "美食", "美术", "彩票",
    "品酒", "读报", "跳舞", "艺术", "功夫", "其他"];
