// Sample DataWindow syntaxes as the painter exports them, written with LF line
// ends; the tests turn them into CR LF before loading, as real exports carry.
// Chinese captions become GBK bytes through the execution character set.
#pragma once

namespace dwsamples {

// Grid: labels in the header band, columns in detail, a sum in summary and a
// footer label that lies beyond every placement x.
inline constexpr const char* kGrid = R"dw($PBExportHeader$d_goods.srd
release 10;
datawindow(units=0 timer_interval=0 color=1073741824 processing=1 grid.lines=0 )
header(height=80 color="536870912" )
summary(height=80 color="536870912" )
footer(height=72 color="536870912" )
detail(height=80 color="536870912" )
table(column=(type=char(20) updatewhereclause=yes name=goodsno dbname="goods.goodsno" )
 column=(type=char(40) updatewhereclause=yes name=goodsname dbname="goods.goodsname" )
 column=(type=decimal(2) updatewhereclause=yes name=price dbname="goods.price" )
 retrieve="select goods.goodsno, goods.goodsname, goods.price from goods where goods.flag = 1" update="goods" updatewhere=1 updatekeyinplace=no )
text(band=header alignment="2" text="编号" border="0" color="33554432" x="9" y="8" height="64" width="297" name=goodsno_t font.face="宋体" )
text(band=header alignment="2" text="品名" border="0" color="33554432" x="315" y="8" height="64" width="549" name=goodsname_t font.face="宋体" )
text(band=header alignment="2" text="单价" border="0" color="33554432" x="873" y="8" height="64" width="256" name=price_t font.face="宋体" )
column(band=detail id=1 alignment="0" tabsequence=10 border="0" color="33554432" x="9" y="8" height="64" width="297" format="[general]" name=goodsno edit.limit=20 )
column(band=detail id=2 alignment="0" tabsequence=20 border="0" color="33554432" x="315" y="8" height="64" width="549" format="[general]" name=goodsname edit.limit=40 )
column(band=detail id=3 alignment="1" tabsequence=30 border="0" color="33554432" x="873" y="8" height="64" width="256" format="0.00" name=price )
compute(band=summary alignment="1" expression="sum(price for all)" border="0" color="33554432" x="873" y="4" height="64" width="256" format="0.00" name=price_sum )
text(band=footer alignment="0" text="页脚" border="0" color="33554432" x="900" y="4" height="64" width="200" name=foot_t )
htmltable(border="1" )
htmlgen(clientevents="1" )
)dw";

// Freeform: labels and columns side by side in the detail band; an upper-case
// statement with ORDER BY.
inline constexpr const char* kFreeform = R"dw(release 10;
datawindow(units=0 timer_interval=0 color=1073741824 processing=0 )
header(height=0 color="536870912" )
detail(height=260 color="536870912" )
table(column=(type=char(20) updatewhereclause=yes key=yes name=cardno dbname="member.cardno" )
 column=(type=char(30) updatewhereclause=yes name=membername dbname="member.membername" )
 retrieve="SELECT member.cardno, member.membername FROM member ORDER BY member.cardno" update="member" updatewhere=1 updatekeyinplace=no )
text(band=detail alignment="1" text="卡号" border="0" color="33554432" x="37" y="16" height="64" width="233" name=cardno_t )
column(band=detail id=1 alignment="0" tabsequence=10 border="5" color="33554432" x="288" y="16" height="64" width="421" name=cardno )
text(band=detail alignment="1" text="姓名" border="0" color="33554432" x="37" y="96" height="64" width="233" name=membername_t )
column(band=detail id=2 alignment="0" tabsequence=20 border="5" color="33554432" x="288" y="96" height="64" width="421" name=membername )
htmltable(border="1" )
)dw";

// No text object at all; computed fields whose expressions hold quotes and
// brackets, one with an unbalanced "(" inside a quoted string.
inline constexpr const char* kComputed = R"dw(release 10;
datawindow(units=0 color=1073741824 processing=1 )
summary(height=80 color="536870912" )
detail(height=80 color="536870912" )
table(column=(type=char(20) updatewhereclause=yes name=goodsno dbname="sale.goodsno" )
 column=(type=decimal(2) updatewhereclause=yes name=price dbname="sale.price" )
 column=(type=decimal(2) updatewhereclause=yes name=qty dbname="sale.qty" )
 retrieve="select sale.goodsno, sale.price, sale.qty from sale" )
column(band=detail id=1 alignment="0" border="0" x="9" y="8" height="64" width="297" name=goodsno )
compute(band=detail alignment="1" expression="if(isnull(price),0,price)*qty" border="0" x="315" y="8" height="64" width="256" format="0.00" name=amount )
compute(band=summary alignment="0" expression="'合计(' + string(count(goodsno for all))" border="0" x="9" y="8" height="64" width="500" format="[general]" name=total_count )
htmltable(border="1" )
)dw";

// The DataWindow quote escape inside the retrieve statement.
inline constexpr const char* kTilde = R"dw(release 10;
table(column=(type=char(20) updatewhereclause=yes name=goodsno dbname="goods.goodsno" )
 retrieve="select goods.goodsno from goods where goods.unit = ~"pcs~"" update="goods" )
column(band=detail id=1 x="9" y="8" width="297" name=goodsno )
htmltable(border="1" )
)dw";

// The painter's structured form of the query instead of SELECT text.
inline constexpr const char* kStructured = R"dw(release 10;
table(column=(type=char(20) updatewhereclause=yes name=goodsno dbname="goods.goodsno" )
 retrieve="PBSELECT( VERSION(400) TABLE(NAME=~"goods~" ) COLUMN(NAME=~"goods.goodsno~")) " )
column(band=detail id=1 x="9" y="8" width="297" name=goodsno )
htmltable(border="1" )
)dw";

// No "table(" at all (data not from a statement).
inline constexpr const char* kNoTable = R"dw(release 10;
datawindow(units=0 )
text(band=header text="标题" x="10" y="4" width="200" name=title_t )
htmltable(border="1" )
)dw";

// A table block without "retrieve=".
inline constexpr const char* kNoRetrieve = R"dw(release 10;
table(column=(type=long name=id dbname="id" )
 )
text(band=header text="标题" x="10" y="4" width="200" name=title_t )
htmltable(border="1" )
)dw";

// A retrieve statement but no display object after it.
inline constexpr const char* kNoObject = R"dw(release 10;
table(column=(type=long updatewhereclause=yes name=id dbname="t.id" )
 retrieve="select t.id from t" )
htmltable(border="1" )
)dw";

// Neither a display object nor "htmltable(" after the statement.
inline constexpr const char* kNoObjectNoMarker = R"dw(release 10;
table(column=(type=long updatewhereclause=yes name=id dbname="t.id" )
 retrieve="select t.id from t" )
)dw";

// Display objects but no "htmltable(" after them.
inline constexpr const char* kNoHtmltable = R"dw(release 10;
table(column=(type=long updatewhereclause=yes name=id dbname="t.id" )
 retrieve="select t.id from t" )
text(band=header text="号" x="10" y="4" width="200" name=id_t )
column(band=detail id=1 x="10" y="4" width="200" name=id )
)dw";

}  // namespace dwsamples
