-- The initial database of a new installation: every table the launcher and
-- the extension read or write, with a few demo rows. Loaded by the mysql
-- client with the utf8 character set into an empty database; the tables
-- keep their texts in gbk.

CREATE TABLE IF NOT EXISTS mysysset (
  ItemType varchar(50) NOT NULL,
  itemName varchar(100) NOT NULL,
  Itemvalue varchar(2000) DEFAULT NULL,
  Memo varchar(255) DEFAULT NULL,
  PRIMARY KEY (ItemType, itemName)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS usersysset (
  itemtype varchar(50) NOT NULL,
  itemName varchar(100) NOT NULL,
  userName varchar(50) NOT NULL,
  Itemvalue varchar(2000) DEFAULT NULL,
  PRIMARY KEY (itemtype, itemName, userName)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS myuser (
  Username varchar(50) NOT NULL,
  newpass varchar(64) NOT NULL DEFAULT '',
  PRIMARY KEY (Username)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS subcom (
  subno varchar(20) NOT NULL,
  comName varchar(100) NOT NULL DEFAULT '',
  bossmobile varchar(30) DEFAULT NULL,
  linkman varchar(50) DEFAULT NULL,
  address varchar(200) DEFAULT NULL,
  phone varchar(50) DEFAULT NULL,
  PRIMARY KEY (subno)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS store (
  sto_code varchar(20) NOT NULL,
  sto_name varchar(100) NOT NULL DEFAULT '',
  PRIMARY KEY (sto_code)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS backdb_his (
  id int NOT NULL AUTO_INCREMENT,
  backupman varchar(50) DEFAULT NULL,
  backfileName varchar(500) DEFAULT NULL,
  backdate datetime NOT NULL DEFAULT CURRENT_TIMESTAMP,
  PRIMARY KEY (id)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS outone (
  out_no varchar(30) NOT NULL,
  out_date datetime DEFAULT NULL,
  PRIMARY KEY (out_no),
  KEY out_date (out_date)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS customer_small (
  cus_code varchar(30) NOT NULL,
  cus_name varchar(100) DEFAULT NULL,
  modifydate datetime DEFAULT NULL,
  PRIMARY KEY (cus_code)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS mywinDw (
  winName varchar(100) NOT NULL,
  dwName varchar(100) NOT NULL,
  dataobject varchar(200) DEFAULT NULL,
  isSelectRep varchar(1) DEFAULT NULL,
  seq int DEFAULT NULL,
  PRIMARY KEY (winName, dwName)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS paramter (
  date varchar(20) NOT NULL,
  billName varchar(50) NOT NULL,
  nowNo int NOT NULL DEFAULT 0,
  PRIMARY KEY (date, billName)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS paramtercontinue (
  billName varchar(50) NOT NULL,
  nowNo int NOT NULL DEFAULT 0,
  PRIMARY KEY (billName)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS spid (
  maxid int NOT NULL DEFAULT 0
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS stocknum (
  goo_code varchar(30) NOT NULL,
  stockcode varchar(20) NOT NULL,
  stocknum decimal(18,4) NOT NULL DEFAULT 0,
  PRIMARY KEY (goo_code, stockcode)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS stockposnum (
  posno varchar(30) NOT NULL,
  goo_code varchar(30) NOT NULL,
  stockcode varchar(20) NOT NULL,
  stocknum decimal(18,4) NOT NULL DEFAULT 0,
  PRIMARY KEY (posno, goo_code, stockcode)
) DEFAULT CHARSET=gbk;

CREATE TABLE IF NOT EXISTS stockpos (
  id int NOT NULL AUTO_INCREMENT,
  billtable varchar(50) NOT NULL,
  billNO varchar(30) NOT NULL,
  posno varchar(30) NOT NULL,
  goo_code varchar(30) NOT NULL,
  stockcode varchar(20) NOT NULL,
  num decimal(18,4) NOT NULL DEFAULT 0,
  PRIMARY KEY (id),
  KEY bill (billtable, billNO)
) DEFAULT CHARSET=gbk;

-- Demo rows: the head shop, and one ordinary user whose password is the
-- initial password 123 enciphered with the login key.
INSERT IGNORE INTO subcom (subno, comName, bossmobile, linkman, address, phone)
  VALUES ('01', '总店', '', '', '', '');
INSERT IGNORE INTO store (sto_code, sto_name) VALUES ('01', '总店');
INSERT IGNORE INTO myuser (Username, newpass) VALUES ('店长', '303a7a46ba99ec7b');
INSERT IGNORE INTO mysysset (ItemType, itemName, Itemvalue, Memo)
  VALUES ('sysset', 'defaultsubno', '01', '默认分店');
