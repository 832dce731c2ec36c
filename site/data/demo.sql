-- The demo database of the Fennick demo site: Harbourline Provisions, a small
-- trading company. The server builds data/demo.db from this script when the
-- database is missing or older than the script. Every row follows from fixed
-- rules (no random numbers), so each build gives the same data.
--
-- Statements end with a semicolon at the end of a line; lines starting with
-- two dashes are comments.

CREATE TABLE Categories (
  CategoryID INTEGER PRIMARY KEY,
  CategoryName VARCHAR(30) NOT NULL,
  Description VARCHAR(120),
  Picture BLOB
);

INSERT INTO Categories VALUES
  (1, 'Beverages', 'Soft drinks, coffees, teas, beers and ales', X'89504E470D0A1A0A0000000D49484452000000180000001808020000006F15AAAF0000004C4944415478DA63F84F25C0407383B646E96045241884CB08FCC63190610A56B318C83305D32C06B24D41338BDA0691670AB259A3068D1A3418533635332D358B116A166CD42C6A07B8160100878E71E52EBCE6DE0000000049454E44AE426082'),
  (2, 'Condiments', 'Sweet and savory sauces, relishes, spreads and seasonings', X'89504E470D0A1A0A0000000D49484452000000180000001808020000006F15AAAF000000694944415478DAADD44B0A80300C45D1BB2207EECFB5AB5010F1D3A6C90D1996034D9BC72E15C313CBB69E5D859A12B1082A438BB8D2B798523A16B3CA9F4542F9B4C8296F8BB4F2B0A828778BA272592AA45DCD1CB6F9FCE6873457C45C5A3346CC6033A3D60CFF781D2665887D3EB056120000000049454E44AE426082'),
  (3, 'Confections', 'Desserts, candies and sweet breads', X'89504E470D0A1A0A0000000D49484452000000180000001808020000006F15AAAF000000244944415478DA63F84F25C030880DCA929E45061A3568D4A05183460D1A09060DBBC21F00704C5C85A6798F300000000049454E44AE426082'),
  (4, 'Dairy Products', 'Cheeses', X'89504E470D0A1A0A0000000D49484452000000180000001808020000006F15AAAF0000004C4944415478DA63F84F25C04073838E69686045241884CB08FCC63190610A56B318C83305D32C06B24D41338BDA0691670AB259A3068D1A3418533635332D358B116A166CD42C6A07B816010066DE41E99E75166D0000000049454E44AE426082'),
  (5, 'Grains/Cereals', 'Breads, crackers, pasta and cereal', X'89504E470D0A1A0A0000000D49484452000000180000001808020000006F15AAAF0000006A4944415478DAADD45B0A80300C05D1D9844B749FEE4C8582888F364D26E4B31C68DA5C76A9189E58D6EDEC2AD494884550195AC495BEC594D2B19855FE2C12CAA7454E795BA495874545B95B1495CB5221ED6AE6B0CDE7373FA4B922E6D29A3162069B19B566F8C7EB00BB36E86570B5E21D0000000049454E44AE426082'),
  (6, 'Meat/Poultry', 'Prepared meats', X'89504E470D0A1A0A0000000D49484452000000180000001808020000006F15AAAF000000244944415478DA63F84F25C030880D7ADFCF40061A3568D4A05183460D1A09060DBBC21F00610BD4C1440DE9D80000000049454E44AE426082'),
  (7, 'Produce', 'Dried fruit and bean curd', X'89504E470D0A1A0A0000000D49484452000000180000001808020000006F15AAAF0000004C4944415478DA63F84F25C0407383189AFBB122120CC265047EE318C83005AB590CE49982691603D9A6A099456D83C83305D9AC5183460D1A8C299B9A99969AC508350B366A16B5035C8B00001F253CB9D2C9AEE40000000049454E44AE426082'),
  (8, 'Seafood', 'Seaweed and fish', NULL);

CREATE TABLE Suppliers (
  SupplierID INTEGER PRIMARY KEY,
  CompanyName VARCHAR(40) NOT NULL,
  ContactName VARCHAR(30),
  City VARCHAR(20),
  Country VARCHAR(20),
  Phone VARCHAR(20),
  HomePage VARCHAR(80)
);

INSERT INTO Suppliers VALUES
  (1, 'Lindqvist Kafferosteri', 'Elin Lindqvist', 'Göteborg', 'Sweden', '46031555012', 'https://example.com/lindqvist'),
  (2, 'Bayou Pantry Co.', 'Marcus Thibodeaux', 'New Orleans', 'USA', '1504555018', NULL),
  (3, 'Okonomi Foods', 'Haruto Sato', 'Osaka', 'Japan', '81066555013', 'https://example.com/okonomi'),
  (4, 'Fromagerie des Alpes', 'Claire Morel', 'Annecy', 'France', '33450555019', NULL),
  (5, 'Tasman Orchards', 'Grace Whitaker', 'Nelson', 'New Zealand', '64035555017', 'https://example.com/tasman'),
  (6, 'Molino Bellavista', 'Paolo Ricci', 'Parma', 'Italy', '39052555012', NULL),
  (7, 'Nordkyst Fisk', 'Ola Hansen', 'Bergen', 'Norway', '47055555014', 'https://example.com/nordkyst'),
  (8, 'Queen''s Larder', 'Harriet Blake', 'Manchester', 'UK', '44161555016', NULL),
  (9, 'Rancho Alegre', 'Lucía Fernández', 'Mendoza', 'Argentina', '54261555010', NULL),
  (10, 'Maple Ridge Farms', 'Owen Tremblay', 'Québec', 'Canada', '1418555015', 'https://example.com/maple-ridge');

CREATE TABLE Products (
  ProductID INTEGER PRIMARY KEY,
  ProductName VARCHAR(40) NOT NULL,
  SupplierID INTEGER REFERENCES Suppliers(SupplierID),
  CategoryID INTEGER REFERENCES Categories(CategoryID),
  QuantityPerUnit VARCHAR(30),
  UnitPrice MONEY,
  UnitsInStock INTEGER,
  ReorderLevel INTEGER,
  Discontinued BOOLEAN NOT NULL
);

INSERT INTO Products VALUES
  (1, 'Harbour Black Tea', 1, 1, '20 boxes x 20 bags', 18.00, 39, 10, 0),
  (2, 'Lingonberry Cordial', 1, 1, '12 bottles x 500 ml', 19.50, 17, 25, 0),
  (3, 'Dark Roast Coffee', 1, 1, '16 bags x 500 g', 46.00, 20, 10, 0),
  (4, 'Ginger Beer', 8, 1, '24 cans x 330 ml', 14.00, 111, 15, 0),
  (5, 'Cajun Spice Blend', 2, 2, '48 jars x 6 oz', 22.00, 53, 0, 0),
  (6, 'Hot Pepper Sauce', 2, 2, '32 bottles x 8 oz', 21.35, 0, 0, 1),
  (7, 'Yuzu Ponzu', 3, 2, '12 bottles x 300 ml', 25.00, 120, 25, 0),
  (8, 'Maple Syrup', 10, 2, '24 bottles x 500 ml', 28.50, 113, 25, 0),
  (9, 'Balsamic Glaze', 6, 2, '12 bottles x 250 ml', 17.00, 6, 15, 0),
  (10, 'Matcha Shortbread', 3, 3, '10 boxes x 12 pieces', 23.25, 15, 5, 0),
  (11, 'Toffee Fudge', 8, 3, '30 boxes', 12.50, 0, 10, 1),
  (12, 'Dulce de Leche', 9, 3, '24 jars x 450 g', 16.25, 29, 10, 0),
  (13, 'Maple Sugar Candy', 10, 3, '48 pieces', 9.65, 76, 20, 0),
  (14, 'Alpine Gruyère', 4, 4, '10 pieces x 500 g', 55.00, 79, 0, 0),
  (15, 'Chèvre Frais', 4, 4, '12 pieces x 150 g', 21.50, 26, 0, 0),
  (16, 'Parmigiano Reggiano', 6, 4, '1 wheel x 2 kg', 38.00, 86, 0, 0),
  (17, 'Aged Cheddar', 8, 4, '10 blocks x 1 kg', 34.80, 0, 0, 1),
  (18, 'Durum Pasta', 6, 5, '24 packs x 500 g', 19.50, 36, 0, 0),
  (19, 'Rye Crispbread', 1, 5, '24 packs x 250 g', 14.00, 22, 30, 0),
  (20, 'Buckwheat Soba', 3, 5, '20 packs x 300 g', 9.00, 61, 25, 0),
  (21, 'Rolled Oats', 10, 5, '12 bags x 1 kg', 7.00, 38, 25, 0),
  (22, 'Andouille Sausage', 2, 6, '20 packs x 4 links', 39.00, 0, 0, 1),
  (23, 'Prosciutto di Parma', 6, 6, '16 packs x 200 g', 62.50, 42, 0, 0),
  (24, 'Chorizo Criollo', 9, 6, '24 pieces', 24.00, 0, 0, 0),
  (25, 'Venison Pâté', 5, 6, '48 tins x 100 g', 32.80, 115, 20, 0),
  (26, 'Dried Apricots', 5, 7, '50 bags x 300 g', 30.00, 15, 10, 0),
  (27, 'Smoked Tofu', 3, 7, '40 packs x 100 g', 23.25, 35, 0, 0),
  (28, 'Sun-Dried Tomatoes', 6, 7, '12 jars x 250 g', 45.60, 26, 0, 1),
  (29, 'Kiwifruit Chutney', 5, 7, '24 jars x 250 g', 10.00, 4, 20, 0),
  (30, 'Nori Sheets', 3, 8, '12 packs x 50 sheets', 6.00, 24, 5, 0),
  (31, 'Smoked Salmon', 7, 8, '10 packs x 500 g', 26.00, 11, 0, 0),
  (32, 'Pickled Herring', 7, 8, '12 jars x 400 g', 9.50, 112, 20, 0),
  (33, 'Green-Lipped Mussels', 5, 8, '24 packs x 1 kg', 21.05, 5, 0, 0),
  (34, 'Cod Roe Spread', 7, 8, '24 tubes x 185 g', 12.00, 85, 30, 0),
  (35, 'Gulf Shrimp', 2, 8, '20 bags x 1 kg', 31.23, 0, 0, 0),
  (36, 'Camembert Normand', 4, 4, '15 pieces x 250 g', 34.00, 19, 0, 0);

CREATE TABLE Employees (
  EmployeeID INTEGER PRIMARY KEY,
  LastName VARCHAR(20) NOT NULL,
  FirstName VARCHAR(20) NOT NULL,
  Title VARCHAR(30),
  BirthDate DATE,
  HireDate DATE,
  City VARCHAR(20),
  Country VARCHAR(20),
  Phone VARCHAR(20),
  Extension VARCHAR(5),
  ReportsTo INTEGER REFERENCES Employees(EmployeeID),
  Salary MONEY,
  Notes VARCHAR(200)
);

INSERT INTO Employees VALUES
  (1, 'Okafor', 'Adaeze', 'Managing Director', '1968-02-19', '2012-04-01', 'Portsmouth', 'UK', '44239555501', '100', NULL, 98000, 'Founded the company''s export desk.'),
  (2, 'Brennan', 'Liam', 'Sales Manager', '1975-09-03', '2013-08-14', 'Portsmouth', 'UK', '44239555502', '210', 1, 72000, NULL),
  (3, 'Nakamura', 'Yuki', 'Sales Representative', '1988-11-27', '2016-01-11', 'Portsmouth', 'UK', '44239555503', '211', 2, 46000, 'Speaks Japanese and French.'),
  (4, 'García', 'Sofía', 'Sales Representative', '1990-05-12', '2017-03-20', 'Southampton', 'UK', '44238555504', '212', 2, 45500, NULL),
  (5, 'Kowalski', 'Piotr', 'Sales Representative', '1983-07-08', '2018-06-04', 'Southampton', 'UK', '44238555505', '213', 2, 47250, 'Handles the Nordic accounts.'),
  (6, 'Adeyemi', 'Tunde', 'Inside Sales Coordinator', '1992-01-30', '2019-09-16', 'Portsmouth', 'UK', '44239555506', '220', 1, 39000, NULL),
  (7, 'Lindgren', 'Maja', 'Sales Representative', '1995-10-21', '2021-02-01', 'Brighton', 'UK', '44127553507', '214', 2, 41000, NULL),
  (8, 'Murphy', 'Aoife', 'Sales Representative', '1986-04-16', '2022-11-07', 'Brighton', 'UK', '44127553508', '215', 2, 43800, 'Joined from a wine importer.'),
  (9, 'Chen', 'Wei', 'Logistics Manager', '1979-12-05', '2014-05-19', 'Portsmouth', 'UK', '44239555509', '300', 1, 64000, NULL);

CREATE TABLE Cities (CityID INTEGER PRIMARY KEY, City VARCHAR(20), Country VARCHAR(20), Region VARCHAR(10), Prefix VARCHAR(4));

INSERT INTO Cities VALUES
  (1, 'London', 'UK', 'Europe', '44'), (2, 'Hamburg', 'Germany', 'Europe', '49'),
  (3, 'Lyon', 'France', 'Europe', '33'), (4, 'Madrid', 'Spain', 'Europe', '34'),
  (5, 'Boston', 'USA', 'Americas', '1'), (6, 'Seattle', 'USA', 'Americas', '1'),
  (7, 'Toronto', 'Canada', 'Americas', '1'), (8, 'São Paulo', 'Brazil', 'Americas', '55'),
  (9, 'Stockholm', 'Sweden', 'Europe', '46'), (10, 'Dublin', 'Ireland', 'Europe', '353'),
  (11, 'Melbourne', 'Australia', 'Pacific', '61'), (12, 'Auckland', 'New Zealand', 'Pacific', '64'),
  (13, 'Vienna', 'Austria', 'Europe', '43'), (14, 'Mexico City', 'Mexico', 'Americas', '52'),
  (15, 'Copenhagen', 'Denmark', 'Europe', '45');

-- Sixty customers: a name from a first word and a trade, a city from the
-- fifteen above, a contact, and a phone number of digits only.
CREATE TABLE Customers (
  CustomerID VARCHAR(5) PRIMARY KEY,
  CompanyName VARCHAR(40) NOT NULL,
  ContactName VARCHAR(30),
  ContactTitle VARCHAR(30),
  City VARCHAR(20),
  Country VARCHAR(20),
  Region VARCHAR(10),
  Phone VARCHAR(20),
  Fax VARCHAR(20),
  CreditLimit MONEY,
  Since DATE,
  Active BOOLEAN NOT NULL
);

INSERT INTO Customers
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 60),
  first(k, word) AS (VALUES (0, 'Harbor'), (1, 'Juniper'), (2, 'Copper Kettle'), (3, 'Blue Heron'),
    (4, 'Old Mill'), (5, 'Silver Birch'), (6, 'Red Lantern'), (7, 'Golden Fields'),
    (8, 'North Star'), (9, 'Little Acorn'), (10, 'Three Rivers'), (11, 'Wildflower')),
  trade(k, word) AS (VALUES (0, 'Grocers'), (1, 'Delicatessen'), (2, 'Market'), (3, 'Trading'), (4, 'Bistro')),
  given(k, word) AS (VALUES (0, 'Anna'), (1, 'Bruno'), (2, 'Chloé'), (3, 'Daniel'), (4, 'Emma'),
    (5, 'Felix'), (6, 'Greta'), (7, 'Hugo'), (8, 'Ines'), (9, 'Jonas'), (10, 'Keiko')),
  family(k, word) AS (VALUES (0, 'Schmidt'), (1, 'Moreau'), (2, 'Silva'), (3, 'O''Neill'), (4, 'Larsen'),
    (5, 'Rossi'), (6, 'Novak'), (7, 'Walker'), (8, 'Kim'), (9, 'Dubois'), (10, 'Costa'), (11, 'Berg'), (12, 'Haas')),
  title(k, word) AS (VALUES (0, 'Owner'), (1, 'Purchasing Manager'), (2, 'Sales Agent'), (3, 'Accounting Manager'))
SELECT upper(substr(replace(f.word, ' ', ''), 1, 3) || substr(t.word, 1, 2)),
       f.word || ' ' || t.word,
       CASE WHEN n.i % 17 = 0 THEN NULL ELSE g.word || ' ' || fa.word END,
       ti.word, c.City, c.Country, c.Region,
       c.Prefix || printf('%03d', 200 + (n.i * 37) % 700) || printf('%06d', (n.i * 104729) % 1000000),
       CASE WHEN n.i % 3 = 0 THEN c.Prefix || printf('%03d', 200 + (n.i * 37) % 700) || printf('%06d', (n.i * 7919) % 1000000) END,
       1000 * (5 + (n.i * 13) % 46),
       date('2012-01-01', '+' || ((n.i * 97) % 4000) || ' days'),
       n.i % 11 <> 0
FROM n
JOIN first f ON f.k = (n.i - 1) % 12
JOIN trade t ON t.k = (n.i - 1) / 12
JOIN given g ON g.k = (n.i * 7) % 11
JOIN family fa ON fa.k = (n.i * 5) % 13
JOIN title ti ON ti.k = n.i % 4
JOIN Cities c ON c.CityID = 1 + (n.i * 4) % 15;

CREATE TABLE Shippers (ShipperID INTEGER PRIMARY KEY, CompanyName VARCHAR(40), Phone VARCHAR(20));

INSERT INTO Shippers VALUES (1, 'Swift Parcel', '44207555501'), (2, 'Tidewater Freight', '44207555502'),
  (3, 'Albatross Air Cargo', '44207555503');

-- 2,500 orders over three years, about four lines each. Recent orders are
-- not shipped yet, and a few older ones never were (no ShippedDate).
CREATE TABLE Orders (
  OrderID INTEGER PRIMARY KEY,
  CustomerID VARCHAR(5) REFERENCES Customers(CustomerID),
  EmployeeID INTEGER REFERENCES Employees(EmployeeID),
  OrderDate DATE,
  RequiredDate DATE,
  ShippedDate DATE,
  ShipVia INTEGER REFERENCES Shippers(ShipperID),
  Freight MONEY,
  ShipCity VARCHAR(20),
  ShipCountry VARCHAR(20)
);

INSERT INTO Orders
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2500),
  numbered AS (SELECT CustomerID, row_number() OVER (ORDER BY CustomerID) - 1 AS k FROM Customers),
  picked AS (
    SELECT n.i, numbered.CustomerID AS customer,
           date('2023-01-02', '+' || ((n.i - 1) * 1094 / 2500) || ' days') AS ordered
    FROM n JOIN numbered ON numbered.k = (n.i * 7 + n.i / 13) % 60)
SELECT 10000 + p.i, p.customer,
       CASE WHEN p.i % 5 = 0 THEN 3 + (p.i / 5) % 3 ELSE 2 + (p.i * 3) % 8 END,
       p.ordered,
       date(p.ordered, '+' || (14 + 7 * (p.i % 3)) || ' days'),
       CASE WHEN p.i > 2460 OR p.i % 97 = 0 THEN NULL
            ELSE date(p.ordered, '+' || (1 + (p.i * 5) % 12) || ' days') END,
       1 + p.i % 3,
       round(2 + ((p.i * 7919) % 25000) / 100.0, 2),
       c.City, c.Country
FROM picked p JOIN Customers c ON c.CustomerID = p.customer;

CREATE TABLE OrderLines (
  OrderID INTEGER NOT NULL REFERENCES Orders(OrderID),
  LineNumber INTEGER NOT NULL,
  ProductID INTEGER NOT NULL REFERENCES Products(ProductID),
  UnitPrice MONEY NOT NULL,
  Quantity INTEGER NOT NULL,
  Discount REAL NOT NULL,
  PRIMARY KEY (OrderID, LineNumber)
);

INSERT INTO OrderLines
WITH RECURSIVE line(o, k) AS (
    SELECT OrderID, 1 FROM Orders
    UNION ALL
    SELECT o, k + 1 FROM line WHERE k < 1 + ((o * 37) % 7))
SELECT l.o, l.k, p.ProductID,
       CASE WHEN o.OrderDate < '2024-01-01' THEN round(p.UnitPrice * 0.9, 2) ELSE p.UnitPrice END,
       1 + ((l.o * 13 + l.k * 29) % 60),
       CASE (l.o + l.k * 3) % 10 WHEN 0 THEN 0.05 WHEN 1 THEN 0.1 WHEN 2 THEN 0.15
                                 WHEN 3 THEN 0.2 ELSE 0 END
FROM line l
JOIN Orders o ON o.OrderID = l.o
JOIN Products p ON p.ProductID = 1 + ((l.o * 11 + l.k * 7) % 36);

CREATE INDEX OrdersByCustomer ON Orders(CustomerID);
CREATE INDEX OrderLinesByProduct ON OrderLines(ProductID);

-- Views the demo pages query: one row per order line, and one per order.
CREATE VIEW OrderLineDetails AS
SELECT ol.OrderID, ol.LineNumber, o.OrderDate, c.CompanyName AS Customer, c.Country,
       p.ProductName AS Product, cat.CategoryName AS Category, ol.UnitPrice, ol.Quantity,
       ol.Discount, round(ol.UnitPrice * ol.Quantity * (1 - ol.Discount), 2) AS LineTotal
FROM OrderLines ol
JOIN Orders o ON o.OrderID = ol.OrderID
JOIN Customers c ON c.CustomerID = o.CustomerID
JOIN Products p ON p.ProductID = ol.ProductID
JOIN Categories cat ON cat.CategoryID = p.CategoryID;

CREATE VIEW OrderOverview AS
SELECT o.OrderID, c.CompanyName AS Customer, c.Region, e.FirstName || ' ' || e.LastName AS Employee,
       o.OrderDate, o.ShippedDate, s.CompanyName AS Shipper, o.Freight,
       (SELECT count(*) FROM OrderLines ol WHERE ol.OrderID = o.OrderID) AS Lines,
       (SELECT round(sum(ol.UnitPrice * ol.Quantity * (1 - ol.Discount)), 2)
        FROM OrderLines ol WHERE ol.OrderID = o.OrderID) AS Amount,
       o.ShippedDate IS NOT NULL AS Shipped
FROM Orders o
JOIN Customers c ON c.CustomerID = o.CustomerID
JOIN Employees e ON e.EmployeeID = o.EmployeeID
JOIN Shippers s ON s.ShipperID = o.ShipVia;

CREATE VIEW FormattedLines AS
SELECT ol.OrderID, o.OrderDate, o.ShippedDate, c.CustomerID, c.CompanyName AS Customer, c.Phone,
       cat.Picture, p.ProductName AS Product, ol.UnitPrice, ol.Quantity, ol.Discount, p.Discontinued
FROM OrderLines ol
JOIN Orders o ON o.OrderID = ol.OrderID
JOIN Customers c ON c.CustomerID = o.CustomerID
JOIN Products p ON p.ProductID = ol.ProductID
JOIN Categories cat ON cat.CategoryID = p.CategoryID;

CREATE VIEW ProductList AS
SELECT p.ProductID, p.ProductName, c.CategoryName, s.CompanyName AS Supplier, p.QuantityPerUnit,
       p.UnitPrice, p.UnitsInStock, p.Discontinued
FROM Products p
JOIN Categories c ON c.CategoryID = p.CategoryID
JOIN Suppliers s ON s.SupplierID = p.SupplierID;

CREATE VIEW SupplierOverview AS
SELECT s.CompanyName AS Supplier, s.ContactName AS Contact, s.City, s.Country, s.Phone,
       count(p.ProductID) AS Products, round(avg(p.UnitPrice), 2) AS AveragePrice
FROM Suppliers s LEFT JOIN Products p ON p.SupplierID = s.SupplierID
GROUP BY s.SupplierID;

CREATE VIEW SalesByEmployee AS
SELECT e.LastName || ', ' || e.FirstName AS Employee, e.Title, strftime('%Y', o.OrderDate) AS Year,
       count(*) AS Orders, round(sum(s.Amount), 2) AS Sales, round(avg(s.Amount), 2) AS Average,
       sum(o.ShippedDate IS NULL) AS Open
FROM Orders o
JOIN OrderOverview s ON s.OrderID = o.OrderID
JOIN Employees e ON e.EmployeeID = o.EmployeeID
GROUP BY e.EmployeeID, strftime('%Y', o.OrderDate);
