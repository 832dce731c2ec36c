// The catalogue stylesheet. Its input is the document the catalogue's list
// builds from the reports file (designer/catalogue_list.cc): no definitions
// or statements, the page's switches as attributes of the root, and each
// group and report carrying its ready, encoded links (href, delhref), so
// that nothing here builds a URL or a script from stored text.
#include "designer/designer_resources.h"

namespace fennick::designer {

std::string_view CatalogueStylesheetText() {
  return R"XSL(<?xml version="1.0" encoding="UTF-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" encoding="UTF-8" omit-xml-declaration="yes"/>
<xsl:key name="reports-of-group" match="/quillon/reports/report" use="string(@group)"/>
<xsl:param name="edittitle" select="'Edit group title'"/>
<xsl:param name="deltitle" select="'delete this report'"/>
<xsl:param name="delclick" select="''"/>
<xsl:template match="/quillon">
<xsl:variable name="use" select="string(@use)"/>
<xsl:variable name="hide" select="string(@hide)"/>
<xsl:variable name="useid" select="string(@useid)"/>
<xsl:variable name="hideid" select="string(@hideid)"/>
<xsl:variable name="target" select="string(@target)"/>
<xsl:variable name="delete" select="string(@delete)"/>
<xsl:variable name="editgroup" select="string(@editgroup)"/>
<table cellspacing="0" cellpadding="2" width="100%">
<xsl:for-each select="groups/group[($use = '' or contains($use, @id)) and ($hide = '' or not(contains($hide, concat(',', @id, ','))))]">
<xsl:sort select="@title"/>
<xsl:variable name="gid" select="string(@id)"/>
<tr><td class="group_title">
<xsl:choose>
<xsl:when test="$editgroup = '1'"><a class="group_title" title="{$edittitle}" href="{@href}"><xsl:value-of select="@title"/></a></xsl:when>
<xsl:otherwise><br/><span class="group_title"><xsl:value-of select="@title"/></span></xsl:otherwise>
</xsl:choose>
</td></tr>
<tr><td>
<xsl:for-each select="key('reports-of-group', $gid)[($useid = '' or contains($useid, @id)) and ($hideid = '' or not(contains($hideid, @id)))]">
<xsl:sort select="@title"/>
<table border="0" cellspacing="0" cellpadding="0" width="98%">
<tr class="report_title" onmouseover="this.className='report_title_over'" onmouseout="this.className='report_title'">
<td align="center" rowspan="2" valign="top"><xsl:value-of select="position()"/>.</td>
<td class="report_desc" width="100%"><a class="report_title" href="{@href}" title="{normalize-space(.)}"><xsl:if test="$target != ''"><xsl:attribute name="target"><xsl:value-of select="$target"/></xsl:attribute></xsl:if><xsl:value-of select="normalize-space(@title)"/></a></td>
<xsl:if test="$delete = '1'"><td><a href="{@delhref}" title="{$deltitle}" onclick="{$delclick}"><font class="delete">x</font></a></td></xsl:if>
</tr>
<xsl:if test="normalize-space(.) != '' and $delete != '1'"><tr><td class="report_desc"><xsl:value-of select="."/></td></tr></xsl:if>
</table>
</xsl:for-each>
</td></tr>
</xsl:for-each>
</table>
</xsl:template>
</xsl:stylesheet>
)XSL";
}

}  // namespace fennick::designer
