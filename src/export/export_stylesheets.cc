// The export stylesheets as text.
#include "export/export_stylesheets.h"

#include "platform/xml/xml_document.h"

namespace fennick {

std::string_view RowsetToTableStylesheet() {
  // Cells are matched to columns by name, not by position, so a null
  // value (a missing attribute) leaves its own cell empty instead of
  // shifting the cells after it. Values are written as text: markup in the
  // data stays data. The exporter writes this table directly (ExportTable);
  // the stylesheet is the definition that writer is held to.
  static constexpr char kText[] = R"XSL(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:s="uuid:BDC6E3F0-6DA3-11d1-A2A3-00AA00C14882"
    xmlns:dt="uuid:C2F41010-65B3-11d1-A29F-00AA00C14882"
    xmlns:rs="urn:schemas-microsoft-com:rowset" xmlns:z="#RowsetSchema"
    xmlns:uf="urn:user-functions" exclude-result-prefixes="s dt rs z uf">
<xsl:output method="xml" omit-xml-declaration="yes" indent="no"/>
<xsl:decimal-format name="us" decimal-separator="." grouping-separator=","/>
<xsl:decimal-format name="euro" decimal-separator="," grouping-separator="."/>
<xsl:param name="decimal_format_name" select="'us'"/>
<xsl:param name="decimal_format_pattern" select="'###,###.00;(###,###.00)'"/>
<xsl:variable name="columns" select="/xml/s:Schema/s:ElementType/s:AttributeType"/>
<xsl:variable name="recordCount" select="count(/xml/rs:data/z:row)"/>
<xsl:variable name="currentPage" select="1"/>
<xsl:variable name="pageSize" select="$recordCount"/>
<xsl:variable name="startRow" select="($currentPage - 1) * $pageSize + 1"/>
<xsl:variable name="endRow" select="$startRow + $pageSize - 1"/>
<xsl:variable name="upper" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"/>
<xsl:variable name="lower" select="'abcdefghijklmnopqrstuvwxyz'"/>

<xsl:template match="/">
  <table>
    <xsl:copy-of select="/xml/style/table/@*"/>
    <thead>
      <tr>
        <xsl:copy-of select="/xml/style/thead/@*"/>
        <xsl:for-each select="$columns">
          <xsl:variable name="p" select="position()"/>
          <th>
            <xsl:choose>
              <xsl:when test="/xml/headers/header[$p]">
                <xsl:value-of select="/xml/headers/header[$p]/@caption"/>
              </xsl:when>
              <xsl:when test="@rs:name"><xsl:value-of select="@rs:name"/></xsl:when>
              <xsl:otherwise><xsl:value-of select="@name"/></xsl:otherwise>
            </xsl:choose>
          </th>
        </xsl:for-each>
      </tr>
    </thead>
    <tbody>
      <xsl:for-each select="/xml/rs:data/z:row[position() &gt;= $startRow and position() &lt;= $endRow]">
        <xsl:variable name="row" select="."/>
        <tr>
          <xsl:for-each select="$columns">
            <td>
              <xsl:call-template name="cell">
                <xsl:with-param name="column" select="."/>
                <xsl:with-param name="value" select="$row/@*[local-name() = current()/@name]"/>
              </xsl:call-template>
            </td>
          </xsl:for-each>
        </tr>
      </xsl:for-each>
    </tbody>
  </table>
</xsl:template>

<xsl:template name="cell">
  <xsl:param name="column"/>
  <xsl:param name="value"/>
  <xsl:if test="$value">
    <xsl:variable name="type" select="string($column/s:datatype/@dt:type)"/>
    <xsl:variable name="dbtype" select="string($column/s:datatype/@rs:dbtype)"/>
    <!-- Plain XPath instead of variables with content: those make a
         result tree fragment per cell, which dominates large exports. -->
    <!-- Every number type, so a number format applies to any of them. -->
    <xsl:variable name="numeric" select="contains('int,number,r4,i2,float,i1,i8,ui1', $type)"/>
    <xsl:variable name="date" select="not($numeric) and contains('dateTime,timestamp', $type)"/>
    <xsl:variable name="kind"
        select="concat(substring('numeric', 1, 7 * $numeric), substring('datetime', 1, 8 * $date),
                       substring($type, 1, string-length($type) * not($numeric or $date)))"/>
    <xsl:variable name="name" select="concat($column/@rs:name, $column[not(@rs:name)]/@name)"/>
    <xsl:variable name="colname" select="translate($name, $upper, $lower)"/>
    <!-- The column's own entry: its name, or a table and its name. -->
    <xsl:variable name="format"
        select="string(/xml/format/*[local-name() = $kind and (@name = $colname or
                  substring(@name, string-length(@name) - string-length($colname))
                  = concat('.', $colname))][1]/@value)"/>
    <xsl:choose>
      <xsl:when test="$format = '' and $kind = 'datetime'">
        <xsl:choose>
          <xsl:when test="contains($value, 'T00:00:00')"><xsl:value-of select="substring($value, 1, 10)"/></xsl:when>
          <xsl:otherwise><xsl:value-of select="translate($value, 'T', ' ')"/></xsl:otherwise>
        </xsl:choose>
      </xsl:when>
      <xsl:when test="$format = '' and $dbtype = 'currency'">
        <xsl:value-of select="format-number($value, $decimal_format_pattern, $decimal_format_name)"/>
      </xsl:when>
      <xsl:when test="$format = ''"><xsl:value-of select="$value"/></xsl:when>
      <xsl:when test="$kind = 'datetime'"><xsl:value-of select="uf:formatdate(string($value), $format)"/></xsl:when>
      <xsl:when test="$kind = 'numeric'"><xsl:value-of select="uf:formatnum(number($value), $format)"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$value"/></xsl:otherwise>
    </xsl:choose>
  </xsl:if>
</xsl:template>
</xsl:stylesheet>
)XSL";
  return kText;
}

std::string_view TableToDatasetStylesheet() {
  static constexpr char kText[] = R"XSL(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="xml" indent="yes" omit-xml-declaration="yes"/>
<xsl:template match="/"><xsl:apply-templates select="//table[1]"/></xsl:template>
<xsl:template match="table">
  <xsl:variable name="heads" select="thead/tr/th"/>
  <dataset>
    <xsl:if test="$heads">
      <datacolumns>
        <xsl:for-each select="$heads"><datacolumn name="{string(.)}"/></xsl:for-each>
      </datacolumns>
    </xsl:if>
    <datarows>
      <xsl:for-each select="tbody/tr">
        <datarow>
          <xsl:for-each select="td">
            <xsl:variable name="p" select="position()"/>
            <datacolumn>
              <xsl:if test="$heads">
                <xsl:attribute name="name"><xsl:value-of select="$heads[$p]"/></xsl:attribute>
              </xsl:if>
              <xsl:value-of select="."/>
            </datacolumn>
          </xsl:for-each>
        </datarow>
      </xsl:for-each>
    </datarows>
  </dataset>
</xsl:template>
</xsl:stylesheet>
)XSL";
  return kText;
}

std::string_view FirstGenerationDatasetStylesheet() {
  static constexpr char kText[] = R"XSL(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:template match="/"><xsl:apply-templates select="//table[1]"/></xsl:template>
<xsl:template match="table">
  <xsl:variable name="heads" select="theader/tr/th"/>
  <dataset>
    <xsl:if test="$heads">
      <datacolumns>
        <xsl:for-each select="$heads">
          <datacolumn name="{string(.)}" type="{@type}" size="{@size}"/>
        </xsl:for-each>
      </datacolumns>
    </xsl:if>
    <datarows>
      <xsl:for-each select="tbody/tr">
        <datarow>
          <xsl:for-each select="td">
            <xsl:variable name="p" select="position()"/>
            <datacolumn>
              <xsl:if test="$heads">
                <xsl:attribute name="name"><xsl:value-of select="$heads[$p]"/></xsl:attribute>
              </xsl:if>
              <xsl:value-of select="."/>
            </datacolumn>
          </xsl:for-each>
        </datarow>
      </xsl:for-each>
    </datarows>
  </dataset>
</xsl:template>
</xsl:stylesheet>
)XSL";
  return kText;
}

std::string BuildPrintStylesheet(int rows_per_page, std::string_view row_numbers,
                                 std::string_view title, std::string_view heading) {
  std::string text = R"XSL(<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" version="4.0" encoding="ISO-8859-1"/>
<xsl:variable name="allRows" select="/table/tbody/tr"/>
<xsl:variable name="rowsPerPageText">
  <xsl:choose>
    <xsl:when test="number(/table/@rowsPerPage) &gt; 0"><xsl:value-of select="floor(number(/table/@rowsPerPage))"/></xsl:when>
    <xsl:otherwise>)XSL";
  // Below 1 row per page, every row goes on one page.
  text += rows_per_page > 0 ? std::to_string(rows_per_page) : "<xsl:value-of select=\"count($allRows) + 1\"/>";
  text += R"XSL(</xsl:otherwise>
  </xsl:choose>
</xsl:variable>
<xsl:variable name="rowsPerPage" select="number($rowsPerPageText)"/>
<xsl:variable name="ShowRowNumbers">
  <xsl:choose>
    <xsl:when test="/table/@ShowRowNumbers"><xsl:value-of select="number(/table/@ShowRowNumbers)"/></xsl:when>
    <xsl:otherwise>)XSL";
  text += row_numbers == "1" ? "1" : "";
  text += R"XSL(</xsl:otherwise>
  </xsl:choose>
</xsl:variable>
<xsl:template match="/">
<html><head><title>)XSL";
  text += XmlEscape(title);
  text += R"XSL(</title><style>
th { background-color: #dcdcdc; font-family: tahoma, sans-serif; font-size: 12px; border-top: 1px solid gray; border-left: 1px solid gray; }
td { background-color: white; font-family: tahoma, sans-serif; font-size: 12px; border-top: 1px solid gray; border-left: 1px solid gray; }
</style></head><body>)XSL";
  if (!heading.empty()) {
    text += "<h2 style=\"margin-bottom:2px\">" + XmlEscape(heading) +
            "</h2><hr size=\"1\" noshade=\"noshade\"/>";
  }
  // A page starts at every row whose (position - 1) is a multiple of the
  // page length, so one row per page prints every row.
  text += R"XSL(
<xsl:for-each select="$allRows[(position() - 1) mod $rowsPerPage = 0]">
  <xsl:variable name="start" select="count(preceding-sibling::tr) + 1"/>
  <table cellpadding="2" cellspacing="0" width="99%" style="border-right:1px solid gray;border-bottom:1px solid gray">
    <tr>
      <xsl:if test="$ShowRowNumbers = 1 and /table/theader/tr/th"><th>#</th></xsl:if>
      <xsl:copy-of select="/table/theader/tr/th"/>
    </tr>
    <xsl:for-each select="$allRows[position() &gt;= $start and position() &lt; $start + $rowsPerPage]">
      <tr>
        <xsl:if test="$ShowRowNumbers = 1"><td><xsl:value-of select="$start + position() - 1"/></td></xsl:if>
        <xsl:for-each select="td"><td><xsl:value-of select="normalize-space(.)"/></td></xsl:for-each>
      </tr>
    </xsl:for-each>
  </table>
  <br style="page-break-after:always"/>
</xsl:for-each>
</body></html>
</xsl:template>
</xsl:stylesheet>
)XSL";
  return text;
}

}  // namespace fennick
