// The default locale file. Keys are the texts' names; values may carry HTML
// inside CDATA sections.
#include "designer/designer_resources.h"

namespace fennick::designer {

std::string_view DefaultLocaleText() {
  return R"XML(<?xml version="1.0" encoding="UTF-8"?>
<Locale version="1.0">
  <!-- designer button text -->
  <CloseText>Close</CloseText>
  <HomeText>Home</HomeText>
  <BuildText>Build Report</BuildText>
  <!-- designer button tooltips -->
  <CloseTitle>Close window</CloseTitle>
  <BuildTitle>Edit report properties</BuildTitle>
  <HomeTitle>Return home</HomeTitle>
  <!-- grid filter button text -->
  <FilterButtonText>Go</FilterButtonText>
  <FilterButtonTextPopUp>Search</FilterButtonTextPopUp>
  <FilterButtonTitlePopUp>Filter this report</FilterButtonTitlePopUp>
  <!-- grid filter text -->
  <ContainsText>contains</ContainsText>
  <IsEqualToText>is equal to</IsEqualToText>
  <IsNotEqualToText>is not equal to</IsNotEqualToText>
  <IsGreaterThanText>is greater than</IsGreaterThanText>
  <IsLessThanText>is less than</IsLessThanText>
  <!-- popup filter labels -->
  <FilterFieldText>Field</FilterFieldText>
  <FilterConditionText>Condition</FilterConditionText>
  <FilterValueText>Value</FilterValueText>
  <FilterUseORText><![CDATA[Use <b>OR</b>]]></FilterUseORText>
  <!-- grid filter status text -->
  <FiltersLabelText><![CDATA[<b>Filter(s):</b>]]></FiltersLabelText>
  <!-- grid sort status text -->
  <SortOrderLabelText><![CDATA[<b>Sort Order:</b>]]></SortOrderLabelText>
  <SortOrderAscText></SortOrderAscText>
  <SortOrderDescText><![CDATA[<i>descending</i>]]></SortOrderDescText>
  <!-- grid summary status text -->
  <SummaryLabelText><![CDATA[<b>Summary:</b>]]></SummaryLabelText>
  <!-- grid navigation button text -->
  <FirstText>« First</FirstText>
  <PrevText>«</PrevText>
  <NextText>»</NextText>
  <LastText>Last »</LastText>
  <ResetText>Reset</ResetText>
  <ReloadText>Reload</ReloadText>
  <PageCountText>Page @CurrentPage of @NumOfPages (@NumOfRecs recs)</PageCountText>
  <PageSizeText>Page Size:</PageSizeText>
  <ShowPageNumbers>True</ShowPageNumbers>
  <!-- grid navigation button title -->
  <FirstTitle>Go to the first page</FirstTitle>
  <PrevTitle>Previous page</PrevTitle>
  <NextTitle>Next page</NextTitle>
  <LastTitle>Go to the last page</LastTitle>
  <ResetTitle>Reset grid and go to first page</ResetTitle>
  <ReloadTitle>Reload grid</ReloadTitle>
  <!-- grid header button text -->
  <RefreshText><![CDATA[<font face="MS OUTLOOK">C</font>]]></RefreshText>
  <SortColAscText>+</SortColAscText>
  <SortColDescText>-</SortColDescText>
  <!-- grid header button title -->
  <RefreshTitle>Refresh grid</RefreshTitle>
  <SortColAscTitle>Click to sort ascending</SortColAscTitle>
  <SortColDescTitle>Click to sort descending</SortColDescTitle>
  <RemoveSortTitle>Remove this sort</RemoveSortTitle>
  <!-- grid export button text -->
  <PrintText>Print</PrintText>
  <PrintTitle></PrintTitle>
  <XLSText>Excel</XLSText>
  <XLSTitle></XLSTitle>
  <CSVText>CSV</CSVText>
  <CSVTitle></CSVTitle>
  <XMLText>XML</XMLText>
  <XMLTitle></XMLTitle>
  <TXTText>Text</TXTText>
  <TXTTitle></TXTTitle>
  <PDFText>PDF</PDFText>
  <PDFTitle></PDFTitle>
  <DOCText>Word</DOCText>
  <DOCTitle></DOCTitle>
  <!-- graph paging buttons -->
  <GraphPagingText>View Current</GraphPagingText>
  <GraphPagingTitle>View only current records</GraphPagingTitle>
  <RemoveGraphPagingText>View All</RemoveGraphPagingText>
  <RemoveGraphPagingTitle>View all records</RemoveGraphPagingTitle>
  <!-- database objects labels -->
  <TablesText>Tables</TablesText>
  <AllowedTablesText>Allowed Tables</AllowedTablesText>
  <ViewsText>Views</ViewsText>
  <StoredProceduresText>Stored Procedures</StoredProceduresText>
  <AllowedProceduresText>Allowed Procedures</AllowedProceduresText>
</Locale>
)XML";
}

}  // namespace fennick::designer
