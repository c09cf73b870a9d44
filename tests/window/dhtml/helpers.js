// A script embedded in the test module and loaded by the page.
function fromResource() { return '资源脚本'; }
