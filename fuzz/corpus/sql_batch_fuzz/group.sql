create table t (g, v);
insert into t values ('a', 1);
insert into t values ('a', 2.5);
insert into t values ('b', 3);
select g, count(v), sum(v), avg(v), max(v), min(v), stddev(v) from t group by g having count(v) > 1