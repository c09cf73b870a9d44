// Paging of the topic table: eight rows to a page, with the pager's links
// built as elements (topic texts are put in as text, never as markup).
var Paging = {
    rowsPerPage: 8,
    rows: [],
    page: 1,

    pages: function () {
        return Math.max(1, Math.ceil(this.rows.length / this.rowsPerPage));
    },

    // rows: arrays of the five cells' texts.
    show: function (rows, page) {
        this.rows = rows || [];
        this.page = Math.min(Math.max(1, page || 1), this.pages());
        var body = document.getElementById("topicRows");
        while (body.firstChild) body.removeChild(body.firstChild);
        var first = (this.page - 1) * this.rowsPerPage;
        for (var i = first; i < this.rows.length && i < first + this.rowsPerPage; i++) {
            var tr = document.createElement("tr");
            for (var c = 0; c < 5; c++) {
                var td = document.createElement("td");
                td.textContent = this.rows[i][c] === undefined ? "" : String(this.rows[i][c]);
                tr.appendChild(td);
            }
            body.appendChild(tr);
        }
        var pager = document.getElementById("topicPager");
        pager.textContent = "第" + this.page + "/" + this.pages() + "页 ";
        var self = this;
        [["上一页", this.page - 1], ["下一页", this.page + 1]].forEach(function (link) {
            var a = document.createElement("a");
            a.textContent = link[0];
            a.href = "#";
            a.onclick = function () { self.show(self.rows, link[1]); return false; };
            pager.appendChild(a);
        });
    }
};
